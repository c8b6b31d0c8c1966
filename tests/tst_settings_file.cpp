#include "config/IniProfile.h"
#include "config/RecordFile.h"
#include "config/SettingsFile.h"
#include "device/FieldTable.h"
#include "records/FieldValue.h"
#include "records/RecordLayout.h"
#include "records/Records.h"
#include "tests/FileSizeLimit.h"
#include "texts/Cp1250.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <optional>
#include <set>

using namespace kvam;

namespace {

const QLocale kHungarian(QLocale::Hungarian);
const QLocale kC = QLocale::c();

QLocale localeNamed(const QString& name)
{
    return name == QLatin1String("hu") ? kHungarian : kC;
}

template <std::size_t N> std::span<std::uint8_t> span(ByteImage<N>& image)
{
    return {image.data(), image.size()};
}
template <std::size_t N> std::span<const std::uint8_t> span(const ByteImage<N>& image)
{
    return {image.data(), image.size()};
}

bool carried(const FieldInfo& f)
{
    return std::strcmp(f.name, "RecordHead") == 0 || std::strncmp(f.name, "Carried", 7) == 0;
}

struct Override
{
    const char* field;
    std::size_t index;
    double value;
};

// The values the golden file was made from: integers (offset * 7 + index * 3) % 250, floats
// (offset + index) / 4 - 20, with the overrides below; bytes outside the settings 0xEE.
template <std::size_t N>
ByteImage<N> knownImage(const char* record, std::initializer_list<Override> overrides)
{
    ByteImage<N> image;
    for (const FieldInfo& f : findRecordLayout(record)->fields) {
        for (std::size_t i = 0; i < f.count; ++i) {
            if (carried(f))
                writeInteger(span(image), f, i, 0xEE);
            else if (f.type == FieldType::f32)
                writeNumber(span(image), f, i, double(f.offset + i) * 0.25 - 20);
            else
                writeInteger(span(image), f, i, std::int64_t((f.offset * 7 + i * 3) % 250));
        }
    }
    for (const Override& o : overrides) {
        const FieldInfo* f = findRecordLayout(record)->field(o.field);
        if (f->type == FieldType::f32)
            writeNumber(span(image), *f, o.index, o.value);
        else
            writeInteger(span(image), *f, o.index, std::int64_t(o.value));
    }
    return image;
}

Ram2Image knownRam2()
{
    return knownImage<ram2::kSize>("RAM2", {{"DinPolarity", 0, 32},
                                            {"LedErrorMask", 0, 1048575},
                                            {"Energy_sampletime", 0, 15},
                                            {"MaxEP", 2, 4294967295.0},
                                            {"DoutErrormask1", 1, 2147483648.0},
                                            {"Zajzar", 0, 0.005},
                                            {"Ratio", 0, 0.5},
                                            {"AnValueTo", 3, 123456789},
                                            {"Fazistolas", 2, 1e-7}});
}

Ram3Image knownRam3()
{
    return knownImage<ram3::kSize>("RAM3", {{"Gyartasiszam", 0, 1234},
                                            {"Offset", 1, -17},
                                            {"Adhist", 0, -3},
                                            {"RMSCoeff", 0, 0.001},
                                            {"TeljCoeff", 0, 2.5e20},
                                            {"Delay", 1, -0.125}});
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The image with every byte no settings key covers set to `fill`: what a load into an image of
// `fill` bytes must give.
template <std::size_t N>
ByteImage<N> coveredOnly(const ByteImage<N>& image, std::span<const ConfigField> table, std::uint8_t fill)
{
    ByteImage<N> out;
    out.fill(fill);
    for (const ConfigField& f : table)
        std::memcpy(out.data() + f.info().offset, image.data() + f.info().offset, f.info().size());
    return out;
}

Ram2Image filled2(std::uint8_t b)
{
    Ram2Image i;
    i.fill(b);
    return i;
}
Ram3Image filled3(std::uint8_t b)
{
    Ram3Image i;
    i.fill(b);
    return i;
}

} // namespace

class TstSettingsFile : public QObject
{
    Q_OBJECT
private slots:
    // Windows-1250
    void codePageUpperHalf();
    void codePageEncode_data();
    void codePageEncode();

    // The INI profile
    void untouchedFileKeepsItsBytes_data();
    void untouchedFileKeepsItsBytes();
    void setValue_data();
    void setValue();
    void lookup_data();
    void lookup();
    void refusedNames_data();
    void refusedNames();
    void sectionNames_data();
    void sectionNames();
    void parseInt_data();
    void parseInt();
    void formatFloat_data();
    void formatFloat();
    void parseFloat_data();
    void parseFloat();

    // The settings file
    void savedSectionMatchesGoldenFile();
    void roundTrip_data();
    void roundTrip();
    void otherSectionsKeepTheirBytes();
    void savingTwiceReplacesValues();
    void loadedValue_data();
    void loadedValue();
    void loadFailureChangesNothing_data();
    void loadFailureChangesNothing();
    void saveFailureLeavesFileIntact_data();
    void saveFailureLeavesFileIntact();
    void settingsSections_data();
    void settingsSections();

    // The record file
    void loadRecordFile_data();
    void loadRecordFile();
    void saveRecordFile();
    void recordFileFailures_data();
    void recordFileFailures();
};

void TstSettingsFile::codePageUpperHalf()
{
    // Qt's own converter (ICU) where the build has one: an independent reading of the code page.
    QStringDecoder system("windows-1250");
    for (int b = 0x80; b <= 0xFF; ++b) {
        const QByteArray byte(1, char(b));
        const QString decoded = cp1250::decode(byte);
        QCOMPARE(decoded.size(), 1);
        const bool undefined = b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98;
        if (undefined)
            QCOMPARE(decoded[0].unicode(), char16_t(b));
        else if (system.isValid())
            QCOMPARE(decoded, system.decode(byte));
        QCOMPARE(cp1250::encode(decoded), byte);
    }
    if (!system.isValid())
        qWarning("no windows-1250 converter in this Qt: the table was only checked for round trips");
}

void TstSettingsFile::codePageEncode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << QStringLiteral("DinPolarity") << QByteArray("DinPolarity");
    QTest::newRow("hungarian") << QStringLiteral("DoutHatárértékFelső_")
                               << QByteArray("DoutHat\xE1r\xE9rt\xE9kFels\xF5_");
    QTest::newRow("upper case") << QStringLiteral("ZAJZÁR Ű") << QByteArray("ZAJZ\xC1R \xDB");
    QTest::newRow("euro") << QStringLiteral("€") << QByteArray("\x80");
    QTest::newRow("not in the code page") << QStringLiteral("ñ日") << QByteArray("??");
}

void TstSettingsFile::codePageEncode()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(cp1250::encode(text), bytes);
}

void TstSettingsFile::untouchedFileKeepsItsBytes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("crlf") << QByteArray("[a]\r\nk=1\r\n\r\n[b]\r\nx = y \r\n");
    QTest::newRow("lf, no end on the last line") << QByteArray("[a]\nk=1\n;c\n[b]\nx=y");
    QTest::newRow("odd lines") << QByteArray(
        "head line\r\n  [ s ] tail\r\n\tnot a key\r\n[unclosed\r\n=v\r\n\r\n");
    QTest::newRow("code page bytes") << QByteArray("[Zajz\xE1r]\r\n\x81\x98=\xFF\r\n");
}

void TstSettingsFile::untouchedFileKeepsItsBytes()
{
    QFETCH(QByteArray, file);
    QCOMPARE(IniProfile::parse(file).serialize(), file);
}

void TstSettingsFile::setValue_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    const auto row = [](const char* name, const char* before, const char* section, const char* key,
                        const char* value, const char* after) {
        QTest::newRow(name) << QByteArray(before) << QString::fromUtf8(section) << QString::fromUtf8(key)
                            << QString::fromUtf8(value) << QByteArray(after);
    };
    row("empty file", "", "1234", "Zajzár", "0,5", "[1234]\r\nZajz\xE1r=0,5\r\n");
    row("replaced in place, spelling kept", "[A]\r\n Key = 1 \r\nOther=2\r\n", "a", "KEY", "9",
        "[A]\r\n Key =9\r\nOther=2\r\n");
    row("code page letters match without regard to case", "[x]\r\nZAJZ\xC1R=1\r\n", "X", "zajzár", "2",
        "[x]\r\nZAJZ\xC1R=2\r\n");
    row("appended behind the last key, before blank lines and a comment",
        "[a]\r\nk=1\r\n;note\r\nj=2\r\n\r\n;for b\r\n[b]\r\nk=3\r\n", "a", "n", "4",
        "[a]\r\nk=1\r\n;note\r\nj=2\r\nn=4\r\n\r\n;for b\r\n[b]\r\nk=3\r\n");
    row("section without keys", "[a]\r\n\r\n[b]\r\n", "a", "n", "4", "[a]\r\nn=4\r\n\r\n[b]\r\n");
    row("new section at the end, last line without an end", "[a]\nk=1", "b", "n", "4",
        "[a]\nk=1\r\n[b]\r\nn=4\r\n");
    row("new key behind a last line without an end", "[a]\nk=1", "a", "n", "4", "[a]\nk=1\r\nn=4\r\n");
    row("lf lines keep their end", "[a]\nk=1\nj=2\n", "a", "k", "5", "[a]\nk=5\nj=2\n");
    row("first of two sections of the same name", "[s]\r\nk=1\r\n[t]\r\n[S]\r\nk=2\r\n", "s", "k", "7",
        "[s]\r\nk=7\r\n[t]\r\n[S]\r\nk=2\r\n");
    row("key before the first section belongs to none", "k=1\r\n", "s", "k", "2", "k=1\r\n[s]\r\nk=2\r\n");
    row("comment is no key", "[s]\r\n;k=1\r\n", "s", "k", "2", "[s]\r\n;k=1\r\nk=2\r\n");
}

void TstSettingsFile::setValue()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    IniProfile p = IniProfile::parse(before);
    QVERIFY(p.setValue(section, key, value));
    QCOMPARE(p.serialize(), after);
    QCOMPARE(IniProfile::parse(after).value(section, key), std::optional<QString>(value));
}

void TstSettingsFile::lookup_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("value");
    const auto row = [](const char* name, const char* section, const char* key, bool found,
                        const char* value) {
        QTest::newRow(name) << QByteArray("top=0\r\n"
                                          "[ 1234 ] trailing\r\n"
                                          "  Zajz\xE1r \t=  0,5  \r\n"
                                          ";Hidden=1\r\n"
                                          "Quoted=\"a b\"\r\n"
                                          "Empty=\r\n"
                                          "Dup=first\r\n"
                                          "Dup=second\r\n"
                                          "[\xC1rv\xEDzt\xFBr\xF5]\r\n"
                                          "k=v\r\n"
                                          "[1234]\r\n"
                                          "Late=1\r\n")
                            << QString::fromUtf8(section) << QString::fromUtf8(key) << found
                            << QString::fromUtf8(value);
    };
    row("blanks trimmed", "1234", "Zajzár", true, "0,5");
    row("upper-case code page letters", " 1234 ", "ZAJZÁR", true, "0,5");
    row("section in code page letters", "árvíztűrő", "K", true, "v");
    row("quotes taken off", "1234", "quoted", true, "a b");
    row("empty value", "1234", "Empty", true, "");
    row("first of two keys", "1234", "Dup", true, "first");
    row("comment", "1234", "Hidden", false, "");
    row("second section of the same name is not read", "1234", "Late", false, "");
    row("key before any section", "", "top", false, "");
    row("missing section", "999", "k", false, "");
}

void TstSettingsFile::lookup()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(bool, found);
    QFETCH(QString, value);
    const std::optional<QString> got = IniProfile::parse(file).value(section, key);
    QCOMPARE(got.has_value(), found);
    if (found)
        QCOMPARE(*got, value);
}

void TstSettingsFile::refusedNames_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    const auto row = [](const char* name, const char* section, const char* key, const char* value) {
        QTest::newRow(name) << QString(section) << QString(key) << QString(value);
    };
    row("section with ]", "12]\r\n[x", "k", "1");
    row("key with =", "s", "a=b", "1");
    row("empty key", "s", " ", "1");
    row("key that reads as a header", "s", "[t]", "1");
    row("key that reads as a comment", "s", ";k", "1");
    row("line break in the value", "s", "k", "1\r\n[t]");
}

void TstSettingsFile::refusedNames()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const QByteArray before("[s]\r\nk=0\r\n");
    IniProfile p = IniProfile::parse(before);
    QVERIFY(!p.setValue(section, key, value));
    QCOMPARE(p.serialize(), before);
}

void TstSettingsFile::sectionNames_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("both listed, the first included")
        << QByteArray("[1001]\r\na=1\r\n[1002]\r\na=2\r\n") << QStringList{"1001", "1002"};
    QTest::newRow("no sections") << QByteArray("a=1\r\n;[x]\r\n") << QStringList{};
    QTest::newRow("a name standing twice listed once")
        << QByteArray("[b]\n[a]\n[B]\n[c]\n") << QStringList{"b", "a", "c"};
    QTest::newRow("code page letters") << QByteArray("[Zajz\xE1r]\r\n") << QStringList{"Zajzár"};
    QString many;
    QStringList manyNames;
    for (int i = 0; i < 3000; ++i) {
        manyNames << QString::number(100000 + i);
        many += QStringLiteral("[%1]\r\n").arg(manyNames.back());
    }
    QTest::newRow("more names than 16 KB") << many.toLatin1() << manyNames;
}

void TstSettingsFile::sectionNames()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, names);
    QCOMPARE(IniProfile::parse(file).sectionNames(), names);
}

void TstSettingsFile::parseInt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    const auto row = [](const char* text, bool ok, int value) {
        QTest::newRow(text) << QString(text) << ok << value;
    };
    const auto no = [](const char* name, const char* text) {
        QTest::newRow(name) << QString(text) << false << 0;
    };
    row("1048575", true, 1048575);
    row(" 15 ", true, 15);
    row("-17", true, -17);
    row("+7", true, 7);
    row("-2147483648", true, int(0x80000000u));
    row("0x10", true, 16);
    row("0X1aF", true, 0x1AF);
    row("0xFFFFFFFF", true, -1);
    row("4294967295", true, -1);
    row("2147483648", true, int(0x80000000u));
    no("beyond 32 bits", "4294967296");
    no("hex beyond 32 bits", "0x100000000");
    no("below int32", "-2147483649");
    no("trailing garbage", "12abc");
    no("garbage", "abc");
    no("empty", "");
    no("sign only", "-");
    no("hex prefix only", "0x");
    no("float", "1.5");
}

void TstSettingsFile::parseInt()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    const std::optional<std::int32_t> got = IniProfile::parseInt(text);
    QCOMPARE(got.has_value(), ok);
    if (ok)
        QCOMPARE(*got, value);
}

void TstSettingsFile::formatFloat_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    const auto row = [](const char* name, double value, const char* locale, const char* text) {
        QTest::newRow(name) << value << QString(locale) << QString(text);
    };
    row("half, hu", 0.5, "hu", "0,5");
    row("half, C", 0.5, "C", "0.5");
    row("one", 1.0, "hu", "1");
    row("negative", -2.25, "hu", "-2,25");
    row("small", 1e-7, "C", "1e-07");
    row("last fixed", 0.0001, "C", "0.0001");
    row("15 digits", 123456789012345.0, "C", "123456789012345");
    row("16 digits", 1234567890123456.0, "hu", "1,23456789012346e+15");
    row("f32 0.001", double(0.001f), "hu", "0,00100000004749745");
}

void TstSettingsFile::formatFloat()
{
    QFETCH(double, value);
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QCOMPARE(IniProfile::formatFloat(value, localeNamed(locale)), text);
}

void TstSettingsFile::parseFloat_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    const auto row = [](const char* name, const char* text, const char* locale, bool ok, double value) {
        QTest::newRow(name) << QString(text) << QString(locale) << ok << value;
    };
    row("point under hu", "0.5", "hu", true, 0.5);
    row("comma under C", "0,5", "C", true, 0.5);
    row("comma under hu", "0,5", "hu", true, 0.5);
    row("exponent", "1e-07", "hu", true, 1e-7);
    row("exponent with comma", "-1,5E+3", "hu", true, -1500.0);
    row("integer", "10", "C", true, 10.0);
    row("plus and blanks", " +2,5 ", "C", true, 2.5);
    row("garbage", "abc", "hu", false, 0.0);
    row("trailing garbage", "1,5x", "hu", false, 0.0);
    row("two separators", "1,5.5", "hu", false, 0.0);
    row("group separator", "1 000", "hu", false, 0.0);
    row("empty", "", "C", false, 0.0);
    row("hex", "0x10", "C", false, 0.0);
    row("out of range", "1e999", "C", false, 0.0);
}

void TstSettingsFile::parseFloat()
{
    QFETCH(QString, text);
    QFETCH(QString, locale);
    QFETCH(bool, ok);
    QFETCH(double, value);
    const std::optional<double> got = IniProfile::parseFloat(text, localeNamed(locale));
    QCOMPARE(got.has_value(), ok);
    if (ok)
        QCOMPARE(*got, value);
}

void TstSettingsFile::savedSectionMatchesGoldenFile()
{
    const QByteArray golden = readAll(QStringLiteral(KVAM_TEST_DATA "/settings/section_1234_hu.ini"));
    QVERIFY(
        golden.startsWith("[1234]\r\nDinPolarity=32\r\nLedErrorMask=1048575\r\nEnergy_sampletime=15\r\n"));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    QString error;
    QVERIFY2(saveSettings(path, QStringLiteral("1234"), knownRam2(), knownRam3(), kHungarian, &error),
             qPrintable(error));
    const QByteArray written = readAll(path);
    if (written != golden) {
        const QList<QByteArray> a = written.split('\n');
        const QList<QByteArray> b = golden.split('\n');
        for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
            QCOMPARE(a[i], b[i]);
        QCOMPARE(a.size(), b.size());
    }
}

void TstSettingsFile::roundTrip_data()
{
    QTest::addColumn<QString>("saveLocale");
    QTest::addColumn<QString>("loadLocale");
    for (const char* save : {"hu", "C"})
        for (const char* load : {"hu", "C"})
            QTest::addRow("%s, %s", save, load) << QString(save) << QString(load);
}

void TstSettingsFile::roundTrip()
{
    QFETCH(QString, saveLocale);
    QFETCH(QString, loadLocale);
    Ram2Image ram2 = knownRam2();
    Ram3Image ram3 = knownRam3();
    const auto r2 = span(ram2);
    const auto r3 = span(ram3);
    // The extremes of each width and float values that 15 digits must carry exactly.
    writeInteger(r2, findConfigField(ram2ConfigFields(), "LedErrorMask")->info(), 0, 0x80000000);
    writeInteger(r2, findConfigField(ram2ConfigFields(), "MaxEP")->info(), 0, 4294967295);
    writeInteger(r2, findConfigField(ram2ConfigFields(), "PWMMax")->info(), 3, 65535);
    writeInteger(r2, findConfigField(ram2ConfigFields(), "HarmEnabled")->info(), 0, 255);
    writeNumber(r2, findConfigField(ram2ConfigFields(), "Ratio")->info(), 5, 0.1);
    writeNumber(r2, findConfigField(ram2ConfigFields(), "DoutHighLimit")->info(), 1, -3.4e38);
    writeNumber(r2, findConfigField(ram2ConfigFields(), "DoutLowLimit")->info(), 2, 1.4e-45);
    writeInteger(r3, findConfigField(ram3ConfigFields(), "Offset")->info(), 0, -32768);
    writeInteger(r3, findConfigField(ram3ConfigFields(), "Gyartasiszam")->info(), 0, 0xFFFFFFFE);
    writeNumber(r3, findConfigField(ram3ConfigFields(), "RMSCoeff")->info(), 5, 1.0 / 3.0);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    QString error;
    QVERIFY2(saveSettings(path, QStringLiteral("1234"), ram2, ram3, localeNamed(saveLocale), &error),
             qPrintable(error));
    const QByteArray file = readAll(path);
    QVERIFY(file.contains("\r\nLedErrorMask=-2147483648\r\n"));
    QVERIFY(file.contains("\r\nMaxEP_0=-1\r\n"));

    Ram2Image back2 = filled2(0xA5);
    Ram3Image back3 = filled3(0xA5);
    QVERIFY2(loadSettings(path, QStringLiteral("1234"), back2, back3, localeNamed(loadLocale), &error),
             qPrintable(error));
    // Every field the tables carry comes back; the bytes they do not carry are left alone.
    QCOMPARE(back2, coveredOnly(ram2, ram2ConfigFields(), 0xA5));
    QCOMPARE(back3, coveredOnly(ram3, ram3ConfigFields(), 0xA5));
    QCOMPARE(back2.u32(154), 0x80000000u);
}

void TstSettingsFile::otherSectionsKeepTheirBytes()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    const QByteArray head("; written by hand\r\n[0001]\r\nDinPolarity=1\r\n;keep me\r\nodd line\r\n\r\n");
    const QByteArray tail("[9999]\nZajz\xE1r = 1,5 \n\n");
    QVERIFY(writeAll(path, head + "[1234]\r\nDinPolarity=7\r\n\r\n" + tail));

    QString error;
    QVERIFY2(saveSettings(path, QStringLiteral("1234"), knownRam2(), knownRam3(), kHungarian, &error),
             qPrintable(error));
    const QByteArray golden = readAll(QStringLiteral(KVAM_TEST_DATA "/settings/section_1234_hu.ini"));
    // The section's existing key keeps its place, the others follow it in order, then its blank line.
    QCOMPARE(readAll(path), head + golden + "\r\n" + tail);

    // A new section goes to the end of the file; the last line had no end of its own.
    QVERIFY(writeAll(path, head + "[9999]\r\nk=1"));
    QVERIFY2(saveSettings(path, QStringLiteral("1234"), knownRam2(), knownRam3(), kHungarian, &error),
             qPrintable(error));
    QCOMPARE(readAll(path), head + "[9999]\r\nk=1\r\n" + golden);
}

void TstSettingsFile::savingTwiceReplacesValues()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    const QByteArray other("[1001]\r\n;comment\r\nDinPolarity=5\r\n");
    QVERIFY(writeAll(path, other));

    Ram2Image first = knownRam2();
    Ram3Image first3 = knownRam3();
    QVERIFY(saveSettings(path, QStringLiteral("1234"), first, first3, kHungarian));
    const QByteArray once = readAll(path);

    Ram2Image second = first;
    Ram3Image second3 = first3;
    set(second, ram2::DinPolarity, 9);
    set(second, ram2::Ratio, 3, 2.75f);
    set(second3, ram3::Offset, 5, std::int16_t(-1));
    QVERIFY(saveSettings(path, QStringLiteral("1234"), second, second3, kHungarian));
    const QByteArray twice = readAll(path);

    QVERIFY(twice.startsWith(other));
    // Replaced in place: DinPolarity 32 -> 9, Áttétel_3 -18,75 -> 2,75, Offset_5 211 -> -1.
    QCOMPARE(twice.size(), once.size() - 1 - 2 - 1);
    QVERIFY(twice.contains("\r\n\xC1tt\xE9tel_3=2,75\r\n"));
    QCOMPARE(twice.count("DinPolarity="), 2);
    QCOMPARE(kvam::settingsSections(path), (QStringList{"1001", "1234"}));

    Ram2Image back = filled2(0);
    Ram3Image back3 = filled3(0);
    QVERIFY(loadSettings(path, QStringLiteral("1234"), back, back3, kHungarian));
    QCOMPARE(back, coveredOnly(second, ram2ConfigFields(), 0));
    QCOMPARE(back3, coveredOnly(second3, ram3ConfigFields(), 0));
    QVERIFY(loadSettings(path, QStringLiteral("1001"), back, back3, kHungarian));
    QCOMPARE(get(back, ram2::DinPolarity), std::uint16_t(5));
}

void TstSettingsFile::loadedValue_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("expected");
    const auto row = [](const char* name, const char* body, const char* locale, const char* record,
                        const char* field, int index, double expected, const char* section = "1234") {
        QTest::newRow(name) << QByteArray(body) << QString(locale) << QString(section) << QString(record)
                            << QString(field) << index << expected;
    };
    row("missing integer key", "", "hu", "RAM2", "Energy_sampletime", 0, 10.0);
    row("missing indexed key", "PWMTomA_0=1\r\n", "hu", "RAM2", "PWMTomA", 2, 20000.0);
    row("missing float key", "", "hu", "RAM3", "RMSCoeff", 4, double(0.001f));
    row("missing signed key", "", "hu", "RAM3", "Adhist", 0, 150.0);
    row("hex", "Energy_sampletime=0x10\r\n", "hu", "RAM2", "Energy_sampletime", 0, 16.0);
    row("garbage integer", "MB01Addr=x1\r\n", "hu", "RAM2", "MB01Addr", 0, 1.0);
    row("garbage float", "Zajz\xE1r=half\r\n", "hu", "RAM2", "Zajzar", 0, 0.5);
    row("point under hu", "Zajz\xE1r=0.25\r\n", "hu", "RAM2", "Zajzar", 0, 0.25);
    row("comma under C", "Zajz\xE1r=0,25\r\n", "C", "RAM2", "Zajzar", 0, 0.25);
    row("key in upper case", "ZAJZ\xC1R=0,75\r\n", "hu", "RAM2", "Zajzar", 0, 0.75);
    row("indexed key in code page letters", "DoutHat\xE1r\xE9rt\xE9kFels\xF5_3=-4,5\r\n", "hu", "RAM2",
        "DoutHighLimit", 3, -4.5);
    row("cut to u8", "MB01Addr=300\r\n", "hu", "RAM2", "MB01Addr", 0, 44.0);
    row("negative into u16", "PWMMax_1=-1\r\n", "hu", "RAM2", "PWMMax", 1, 65535.0);
    row("bit 31", "LedErrorMask=-2147483648\r\n", "hu", "RAM2", "LedErrorMask", 0, 2147483648.0);
    row("negative i16", "Offset_4=-150\r\n", "C", "RAM3", "Offset", 4, -150.0);
    row("last channel of a shorter row", "TeljCoeff_2=7,5\r\nTeljCoeff_3=9\r\n", "hu", "RAM3", "TeljCoeff", 2,
        7.5);
    row("section matched without regard to case", "Gyartasiszam=77\r\n", "hu", "RAM3", "Gyartasiszam", 0,
        77.0, "ABC");
}

void TstSettingsFile::loadedValue()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, locale);
    QFETCH(QString, section);
    QFETCH(QString, record);
    QFETCH(QString, field);
    QFETCH(int, index);
    QFETCH(double, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    const QByteArray header = section == QLatin1String("ABC") ? "[abc]\r\n" : "[1234]\r\n";
    QVERIFY(writeAll(path, "[other]\r\nMB01Addr=9\r\n" + header + body));

    Ram2Image ram2 = filled2(0x5A);
    Ram3Image ram3 = filled3(0x5A);
    QString error;
    QVERIFY2(loadSettings(path, section, ram2, ram3, localeNamed(locale), &error), qPrintable(error));
    const FieldInfo& info =
        *findRecordLayout(record.toLatin1().constData())->field(field.toLatin1().constData());
    const double got = record == QLatin1String("RAM2") ? readNumber(span(std::as_const(ram2)), info, index)
                                                       : readNumber(span(std::as_const(ram3)), info, index);
    QCOMPARE(got, expected);
    // Carried bytes stay as they were.
    QCOMPARE(get(ram2, ram2::Carried310), std::uint8_t(0x5A));
    QCOMPARE(get(ram3, ram3::Carried152, 1), std::uint8_t(0x5A));
}

void TstSettingsFile::loadFailureChangesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("section");
    QTest::newRow("missing section") << QString("settings.ini") << QString("4321");
    QTest::newRow("empty section name") << QString("settings.ini") << QString();
    QTest::newRow("missing file") << QString("none.ini") << QString("1234");
    QTest::newRow("folder") << QString("folder") << QString("1234");
}

void TstSettingsFile::loadFailureChangesNothing()
{
    QFETCH(QString, name);
    QFETCH(QString, section);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeAll(dir.filePath(QStringLiteral("settings.ini")), "[1234]\r\nDinPolarity=1\r\n"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));

    Ram2Image ram2 = knownRam2();
    Ram3Image ram3 = knownRam3();
    QString error;
    QVERIFY(!loadSettings(dir.filePath(name), section, ram2, ram3, kHungarian, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(ram2, knownRam2());
    QCOMPARE(ram3, knownRam3());
}

void TstSettingsFile::saveFailureLeavesFileIntact_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("section");
    QTest::addColumn<int>("sizeLimit"); ///< bytes a file may reach, 0 for no limit
    QTest::newRow("folder that does not exist") << QString("missing/settings.ini") << QString("1234") << 0;
    QTest::newRow("path is a folder") << QString("folder") << QString("1234") << 0;
    QTest::newRow("parent is a file") << QString("settings.ini/settings.ini") << QString("1234") << 0;
    QTest::newRow("section name with a line break") << QString("settings.ini") << QString("12]\r\n[x") << 0;
    // The new file is cut short while it is written, as on a full disk.
    QTest::newRow("disk full") << QString("settings.ini") << QString("1234") << 1000;
}

void TstSettingsFile::saveFailureLeavesFileIntact()
{
    QFETCH(QString, name);
    QFETCH(QString, section);
    QFETCH(int, sizeLimit);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray existing("[1234]\r\nDinPolarity=1\r\n");
    const QString existingPath = dir.filePath(QStringLiteral("settings.ini"));
    QVERIFY(writeAll(existingPath, existing));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    QString error;
    bool saved = true;
    {
        std::optional<FileSizeLimit> limit;
        if (sizeLimit > 0)
            QVERIFY(limit.emplace(sizeLimit).active());
        saved = saveSettings(dir.filePath(name), section, knownRam2(), knownRam3(), kHungarian, &error);
    }
    QVERIFY(!saved);
    QVERIFY(!error.isEmpty());
    QCOMPARE(readAll(existingPath), existing);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    QVERIFY(QDir(dir.filePath(QStringLiteral("folder"))).isEmpty());
}

void TstSettingsFile::settingsSections_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("1001 and 1002") << true
                                   << QByteArray("[1001]\r\nDinPolarity=1\r\n[1002]\r\nDinPolarity=2\r\n")
                                   << QStringList{"1001", "1002"};
    QTest::newRow("no sections") << true << QByteArray("DinPolarity=1\r\n") << QStringList{};
    QTest::newRow("missing file") << false << QByteArray() << QStringList{};
}

void TstSettingsFile::settingsSections()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, names);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    if (exists)
        QVERIFY(writeAll(path, file));
    QString error;
    QCOMPARE(kvam::settingsSections(path, &error), names);
    QVERIFY(error.isEmpty());
}

void TstSettingsFile::loadRecordFile_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("ok");
    QTest::newRow("empty") << 0 << false;
    QTest::newRow("one byte short") << 313 << false;
    QTest::newRow("exact") << 314 << true;
    QTest::newRow("longer") << 400 << true;
}

void TstSettingsFile::loadRecordFile()
{
    QFETCH(int, size);
    QFETCH(bool, ok);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.user"));
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + 3);
    QVERIFY(writeAll(path, bytes));

    Ram2Image image = filled2(0xC3);
    QString error;
    QCOMPARE(kvam::loadRecordFile(path, image, &error), ok);
    if (ok) {
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(image.data()), 314), bytes.left(314));
    } else {
        QCOMPARE(image, filled2(0xC3));
        QVERIFY(!error.isEmpty());
    }
}

void TstSettingsFile::saveRecordFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.user"));
    QVERIFY(writeAll(path, QByteArray(1000, 'x')));
    const Ram2Image image = knownRam2();
    QString error;
    QVERIFY2(kvam::saveRecordFile(path, image, &error), qPrintable(error));
    QCOMPARE(readAll(path), QByteArray(reinterpret_cast<const char*>(image.data()), 314));
    Ram2Image back = filled2(0);
    QVERIFY(kvam::loadRecordFile(path, back));
    QCOMPARE(back, image);
}

void TstSettingsFile::recordFileFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("sizeLimit"); ///< bytes a file may reach, 0 for no limit
    QTest::newRow("missing file") << "none.user" << 0;
    QTest::newRow("folder") << "folder" << 0;
    QTest::newRow("folder that does not exist") << "missing/config.user" << 0;
    QTest::newRow("parent is a file") << "config.user/config.user" << 0;
    // Saved over the existing file on a disk that fills up: the existing file stays whole.
    QTest::newRow("disk full") << "config.user" << 100;
}

void TstSettingsFile::recordFileFailures()
{
    QFETCH(QString, name);
    QFETCH(int, sizeLimit);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray existing(314, 'e');
    const QString existingPath = dir.filePath(QStringLiteral("config.user"));
    QVERIFY(writeAll(existingPath, existing));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QString path = dir.filePath(name);

    QString error;
    if (name != QLatin1String("none.user")) {
        bool saved = true;
        {
            std::optional<FileSizeLimit> limit;
            if (sizeLimit > 0)
                QVERIFY(limit.emplace(sizeLimit).active());
            saved = kvam::saveRecordFile(path, knownRam2(), &error);
        }
        QVERIFY(!saved);
        QVERIFY(!error.isEmpty());
        QCOMPARE(readAll(existingPath), existing);
        QVERIFY(QDir(dir.filePath(QStringLiteral("folder"))).isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList({"config.user", "folder"}));
    }
    if (sizeLimit > 0)
        return; // the existing file is whole and loads
    Ram2Image image = filled2(0x11);
    error.clear();
    QVERIFY(!kvam::loadRecordFile(path, image, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(image, filled2(0x11));
}

QTEST_APPLESS_MAIN(TstSettingsFile)
#include "tst_settings_file.moc"
