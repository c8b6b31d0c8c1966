// Bad files through the whole window: a thousand damaged settings files, folders and missing
// paths where files should be, saving into a file full of other meters' sections, record files of
// every wrong size, and the log file's folder vanishing while logging. Nothing may crash, every
// failure is reported once and clearly, and a failed load leaves the images as they were.
//
// The damage is drawn from a fixed seed (KVAM_BAD_FILES_SEED replaces it); a failure names the
// seed and the case, so it can be replayed.

#include "app/TForm1.h"
#include "config/ConfigFiles.h"
#include "config/FactoryPage.h"
#include "config/IniProfile.h"
#include "config/RecordFile.h"
#include "config/SettingsFile.h"
#include "config/TSectionForm.h"
#include "device/FieldTable.h"
#include "log/DataLogger.h"
#include "log/LogFile.h"
#include "meter/VirtualMeter.h"
#include "records/FieldValue.h"
#include "records/Records.h"
#include "service/CommPage.h"
#include "tests/LinkFakes.h"
#include "tests/ModelAccess.h"
#include "texts/Cp1250.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <vector>

using namespace kvam;
using namespace kvam::test;

namespace {

quint32 seed()
{
    bool ok = false;
    const quint32 fromEnv = qEnvironmentVariable("KVAM_BAD_FILES_SEED").toUInt(&ok);
    return ok ? fromEnv : 20240917u;
}

template <std::size_t N> test::Bytes bytesOf(const ByteImage<N>& image)
{
    return test::Bytes(image.data(), image.data() + N);
}

void feed(TForm1& f, const test::Bytes& frame)
{
    f.engine().ComPort1RxChar(frame.data(), static_cast<int>(frame.size()));
}

/// Both configuration records as an installed meter answers them.
void holdInstalledRecords(TForm1& f)
{
    feed(f, test::makeFrame(Read_RAM2, bytesOf(VirtualMeter::installedRam2())));
    feed(f, test::makeFrame(Read_RAM3, bytesOf(VirtualMeter::factoryRam3(21001234, 21, 6))));
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

template <std::size_t N> ByteImage<N> randomImage(QRandomGenerator& rng)
{
    ByteImage<N> image;
    for (std::size_t i = 0; i < N; ++i)
        image[i] = static_cast<std::uint8_t>(rng.bounded(256));
    return image;
}

QByteArray randomBytes(QRandomGenerator& rng, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = static_cast<char>(rng.bounded(256));
    return bytes;
}

/// What a load must leave in one field of the chosen section.
enum class Expect
{
    Saved,   ///< its line is intact: the value that was saved
    Default, ///< its key is gone or unreadable: the table's default
    Unknown, ///< its line is damaged in a way the case does not predict
};

/// One key line of the good file: where it stands and which field element it fills.
struct KeyLine
{
    QByteArray key; ///< as the file spells it (Windows-1250)
    const ConfigField* field = nullptr;
    std::size_t index = 0;
    bool ram3 = false;
    qsizetype start = 0; ///< first byte of the line
    qsizetype end = 0;   ///< first byte behind its CR LF
};

/// Every settings key of both tables, in Windows-1250, with its field element.
std::vector<KeyLine> tableKeys()
{
    std::vector<KeyLine> keys;
    const auto add = [&keys](std::span<const ConfigField> table, bool ram3) {
        for (const ConfigField& f : table) {
            const QString key = QString::fromUtf8(f.key);
            if (f.order == KeyOrder::Single) {
                keys.push_back({cp1250::encode(key), &f, 0, ram3});
                continue;
            }
            for (std::size_t i = 0; i < f.keyCount; ++i)
                keys.push_back({cp1250::encode(key + QString::number(i)), &f, i, ram3});
        }
    };
    add(ram2ConfigFields(), false);
    add(ram3ConfigFields(), true);
    return keys;
}

/// The key lines of a section saved by the tool, in file order, each matched with its field.
std::vector<KeyLine> keyLinesOf(const QByteArray& file)
{
    const std::vector<KeyLine> keys = tableKeys();
    std::vector<KeyLine> lines;
    qsizetype pos = 0;
    while (pos < file.size()) {
        qsizetype lf = file.indexOf('\n', pos);
        lf = lf < 0 ? file.size() : lf + 1;
        const QByteArray line = file.sliced(pos, lf - pos);
        const qsizetype eq = line.indexOf('=');
        if (eq > 0) {
            const QByteArray key = line.left(eq);
            const auto it =
                std::find_if(keys.begin(), keys.end(), [&key](const KeyLine& k) { return k.key == key; });
            if (it != keys.end()) {
                KeyLine k = *it;
                k.start = pos;
                k.end = lf;
                lines.push_back(k);
            }
        }
        pos = lf;
    }
    return lines;
}

/// `expected` takes the element of `field` from `saved`, the default, or (Unknown) `actual`.
template <std::size_t N>
void expectField(ByteImage<N>& expected, const ByteImage<N>& actual, const ByteImage<N>& saved,
                 const KeyLine& k, Expect e)
{
    const FieldInfo& info = k.field->info();
    const std::size_t from = info.offset + k.index * info.width();
    switch (e) {
    case Expect::Saved:
        std::copy(saved.data() + from, saved.data() + from + info.width(), expected.data() + from);
        break;
    case Expect::Default:
        writeNumber(std::span<std::uint8_t>(expected.data(), N), info, k.index, k.field->fallback);
        break;
    case Expect::Unknown:
        std::copy(actual.data() + from, actual.data() + from + info.width(), expected.data() + from);
        break;
    }
}

/// `base` with every field element of the settings tables taken from `source`: what loading a
/// section saved from `source` leaves in `base` (the carried bytes have no key).
template <std::size_t N>
ByteImage<N> withTableFields(ByteImage<N> base, const ByteImage<N>& source, const std::vector<KeyLine>& lines,
                             bool ram3)
{
    for (const KeyLine& k : lines)
        if (k.ram3 == ram3)
            expectField(base, source, source, k, Expect::Saved);
    return base;
}

/// The first key whose field differs between two images, for the failure message.
template <std::size_t N>
QString firstDifference(const ByteImage<N>& a, const ByteImage<N>& b, const std::vector<KeyLine>& lines,
                        bool ram3)
{
    for (const KeyLine& k : lines) {
        if (k.ram3 != ram3)
            continue;
        const FieldInfo& info = k.field->info();
        const std::size_t from = info.offset + k.index * info.width();
        if (!std::equal(a.data() + from, a.data() + from + info.width(), b.data() + from))
            return cp1250::decode(k.key);
    }
    for (std::size_t i = 0; i < N; ++i)
        if (a[i] != b[i])
            return QStringLiteral("carried byte %1").arg(i);
    return QString();
}

/// Collects every failure the window reports.
struct Recorder
{
    QStringList errors;
    QStringList fileErrors;
    QStringList reasons;

    void attach(TForm1& f)
    {
        f.prompts().showError = [this](const QString& t) { errors << t; };
        f.prompts().refuseDevice = [this](const QString& t) { errors << t; };
        f.prompts().showFileError = [this](const QString& t, const QString& reason) {
            fileErrors << t;
            reasons << reason;
        };
    }
    void clear()
    {
        errors.clear();
        fileErrors.clear();
        reasons.clear();
    }
};

/// One damaged settings file and what loading its first section must give.
struct Damage
{
    QString kind;
    QByteArray bytes;
    std::vector<Expect> expect; ///< per key line of the good file
    bool sectionIntact = true;  ///< the first section offered is the good one, its header intact
    int error = -1;             ///< 1: the load must fail, 0: it must succeed, -1: either
    QStringList offered;        ///< when not empty: exactly the sections the dialog must offer
};

} // namespace

class TstBadFiles : public QObject
{
    Q_OBJECT

    QByteArray m_good; ///< a settings file the tool saved: one section
    QString m_section; ///< its name
    Ram2Image m_saved2;
    Ram3Image m_saved3;
    std::vector<KeyLine> m_lines;
    qsizetype m_headerEnd = 0; ///< first byte behind the header line
    qsizetype m_close = 0;     ///< where the header's ']' stands

    QString where(int n, const QString& kind) const
    {
        return QStringLiteral("seed %1 case %2 (%3)").arg(seed()).arg(n).arg(kind);
    }

    // A line ending at or before `p` is before the damage; one starting at or after it behind it.
    std::vector<Expect> byRegion(qsizetype from, Expect inside, Expect behind) const
    {
        std::vector<Expect> e;
        for (const KeyLine& k : m_lines)
            e.push_back(k.end <= from ? Expect::Saved : k.start >= from ? behind : inside);
        return e;
    }

    Damage damage(QRandomGenerator& rng, int n) const
    {
        const qsizetype size = m_good.size();
        const std::vector<Expect> allSaved(m_lines.size(), Expect::Saved);
        Damage d;
        d.expect = allSaved;
        switch (n % 8) {
        case 0: {
            const qsizetype p = rng.bounded(size);
            d.kind = QStringLiteral("truncated at %1").arg(p);
            d.bytes = m_good.left(p);
            d.expect = byRegion(p, Expect::Unknown, Expect::Default);
            // A header cut before its ']' is no header: the file holds no section.
            d.error = p <= m_close ? 1 : 0;
            d.sectionIntact = p > m_close;
            break;
        }
        case 1: {
            // Mostly behind the header; now and then over it.
            const bool overHeader = rng.bounded(4) == 0;
            const qsizetype p =
                overHeader ? rng.bounded(size) : m_headerEnd + rng.bounded(size - m_headerEnd);
            const qsizetype count = std::min<qsizetype>(1 + rng.bounded(64), size - p);
            d.kind = QStringLiteral("%1 noise bytes at %2").arg(count).arg(p);
            d.bytes = m_good;
            d.bytes.replace(p, count, randomBytes(rng, count));
            d.expect = byRegion(p, Expect::Unknown, Expect::Unknown);
            d.sectionIntact = p >= m_headerEnd;
            d.error = d.sectionIntact ? 0 : -1;
            break;
        }
        case 2: {
            std::vector<qsizetype> at(std::size_t(1 + rng.bounded(4)));
            for (qsizetype& q : at)
                q = m_headerEnd + rng.bounded(size - m_headerEnd + 1);
            std::sort(at.rbegin(), at.rend());
            d.kind = QStringLiteral("%1 NUL bytes from %2").arg(at.size()).arg(at.back());
            d.bytes = m_good;
            for (qsizetype q : at)
                d.bytes.insert(q, '\0');
            // A line holding a NUL, or ending where one stands, is damaged.
            for (std::size_t i = 0; i < m_lines.size(); ++i)
                for (qsizetype q : at)
                    if (q >= m_lines[i].start && q <= m_lines[i].end)
                        d.expect[i] = Expect::Unknown;
            d.error = 0;
            break;
        }
        case 3: {
            const QByteArray huge(1 << 20, 'x');
            const std::size_t line = std::size_t(rng.bounded(int(m_lines.size())));
            const KeyLine& k = m_lines[line];
            switch (rng.bounded(4)) {
            case 0:
                d.kind = QStringLiteral("1 MB line before %1").arg(cp1250::decode(k.key));
                d.bytes = m_good;
                d.bytes.insert(k.start, huge + "\r\n");
                break;
            case 1:
                d.kind = QStringLiteral("1 MB of digits for %1").arg(cp1250::decode(k.key));
                d.bytes = m_good;
                d.bytes.replace(k.start, k.end - k.start, k.key + '=' + QByteArray(1 << 20, '7') + "\r\n");
                d.expect[line] = Expect::Default;
                break;
            case 2:
                d.kind = QStringLiteral("1 MB key line before %1").arg(cp1250::decode(k.key));
                d.bytes = m_good;
                d.bytes.insert(k.start, "Hosszú=" + huge + "\r\n");
                break;
            default:
                d.kind = QStringLiteral("section with a 1 MB name behind");
                d.bytes = m_good + '[' + huge + "]\r\nDinPolarity=7\r\n";
                d.offered = {m_section, QString::fromLatin1(huge)};
                break;
            }
            d.error = 0;
            break;
        }
        case 4: {
            // Later copies of keys and of the whole section, other values: the first ones count.
            d.kind = QStringLiteral("duplicate keys and section");
            d.bytes = m_good;
            for (int i = 0, count = 1 + rng.bounded(8); i < count; ++i) {
                const KeyLine& k = m_lines[std::size_t(rng.bounded(int(m_lines.size())))];
                const QByteArray key =
                    rng.bounded(2) ? k.key : cp1250::encode(cp1250::decode(k.key).toUpper());
                d.bytes += key + "=12345\r\n";
            }
            QByteArray copy = '[' + m_section.toLatin1() + "]\r\n";
            for (const KeyLine& k : m_lines)
                copy += k.key + "=99\r\n";
            d.bytes += "\r\n" + copy;
            d.offered = {m_section};
            d.error = 0;
            break;
        }
        case 5: {
            // Written in UTF-8: the keys with accented letters are other keys now.
            d.kind = QStringLiteral("UTF-8 instead of Windows-1250");
            d.bytes = cp1250::decode(m_good).toUtf8();
            for (std::size_t i = 0; i < m_lines.size(); ++i) {
                const QByteArray& key = m_lines[i].key;
                const bool ascii =
                    std::all_of(key.begin(), key.end(), [](char c) { return uchar(c) < 0x80; });
                d.expect[i] = ascii ? Expect::Saved : Expect::Default;
            }
            d.error = 0;
            break;
        }
        case 6: {
            switch (rng.bounded(3)) {
            case 0:
                // One line: the header, and text behind its ']' that is ignored.
                d.kind = QStringLiteral("CR-only line ends");
                d.bytes = QByteArray(m_good).replace("\r\n", "\r");
                d.expect.assign(m_lines.size(), Expect::Default);
                break;
            case 1:
                d.kind = QStringLiteral("LF-only line ends");
                d.bytes = QByteArray(m_good).replace("\r\n", "\n");
                break;
            default:
                d.kind = QStringLiteral("mixed line ends");
                d.bytes.clear();
                for (const QByteArray& line : m_good.split('\n'))
                    d.bytes += line.endsWith('\r') && rng.bounded(2) ? line.chopped(1) + '\n' : line + '\n';
                d.bytes.chop(1);
                break;
            }
            d.error = 0;
            break;
        }
        default: {
            const bool header = rng.bounded(2);
            d.kind =
                header ? QStringLiteral("the header, then binary noise") : QStringLiteral("binary noise");
            d.bytes = randomBytes(rng, rng.bounded(4097));
            if (header)
                d.bytes.prepend('[' + m_section.toLatin1() + "]\r\n");
            d.expect.assign(m_lines.size(), Expect::Unknown);
            d.sectionIntact = header;
            d.error = header ? 0 : -1;
            break;
        }
        }
        return d;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        qInfo("bad files seed %u (KVAM_BAD_FILES_SEED replays another)", seed());

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TForm1 f(TForm1::Options{false});
        Recorder r;
        r.attach(f);
        f.configFiles().setSettingsDir(dir.path());
        holdInstalledRecords(f);
        f.factoryPage().SaveSettingsButtonClick();
        QCOMPARE(r.fileErrors, QStringList());
        m_good = readAll(f.configFiles().settingsFile());
        m_section = f.factoryPage().factoryNumberText();
        m_saved2 = f.memory().ram2;
        m_saved3 = f.memory().ram3;
        m_lines = keyLinesOf(m_good);
        m_headerEnd = m_good.indexOf('\n') + 1;
        m_close = m_good.indexOf(']');
        QVERIFY(m_good.startsWith('[' + m_section.toLatin1() + "]\r\n"));
        // Every key of both tables has its line, and the file has no other key lines.
        QCOMPARE(m_lines.size(), tableKeys().size());
        QCOMPARE(qsizetype(m_lines.size()), m_good.count('=') + 0);
    }

    /// A thousand damaged copies of the good file, each loaded through the section dialog.
    void damagedSettingsFiles()
    {
        QRandomGenerator rng(seed());
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TForm1 f(TForm1::Options{false});
        Recorder r;
        r.attach(f);
        f.configFiles().setSettingsDir(dir.path());
        holdInstalledRecords(f);
        QStringList offered;
        int dialogs = 0;
        f.prompts().runDialog = [&](QDialog& d) {
            ++dialogs;
            if (&d != &f.sectionForm())
                return false;
            const auto* box = f.sectionForm().findChild<QComboBox*>();
            offered.clear();
            for (int i = 0; box && i < box->count(); ++i)
                offered << box->itemText(i);
            return true; // the first section offered is the one selected
        };

        int failedLoads = 0;
        for (int n = 0; n < 1000; ++n) {
            const Damage d = damage(rng, n);
            const QString at = where(n, d.kind);
            QVERIFY2(writeAll(f.configFiles().settingsFile(), d.bytes), qPrintable(at));
            // Images that differ from the file in every byte, and no settings loaded yet.
            testMemory(f.model()).ram2 = randomImage<ram2::kSize>(rng);
            testMemory(f.model()).ram3 = randomImage<ram3::kSize>(rng);
            f.model().ReadRamClick();
            const Ram2Image before2 = f.memory().ram2;
            const Ram3Image before3 = f.memory().ram3;
            r.clear();
            dialogs = 0;
            offered.clear();

            f.factoryPage().ReadSettingsButtonClick();

            QVERIFY2(r.errors.isEmpty(), qPrintable(at + QStringLiteral(": ") + r.errors.join(u'|')));
            QVERIFY2(r.fileErrors.size() <= 1, qPrintable(at));
            const bool failed = !r.fileErrors.isEmpty();
            if (d.error >= 0)
                QVERIFY2(failed == (d.error == 1),
                         qPrintable(at + QStringLiteral(": ") + r.reasons.join(u'|')));
            if (failed) {
                ++failedLoads;
                QVERIFY2(r.fileErrors.first() == QLatin1String("Open error"), qPrintable(at));
                QVERIFY2(!r.reasons.first().isEmpty(), qPrintable(at));
                QVERIFY2(f.memory().ram2 == before2 && f.memory().ram3 == before3, qPrintable(at));
                QVERIFY2(!f.model().requests().SettingsLoaded, qPrintable(at));
                continue;
            }
            QVERIFY2(dialogs == 1, qPrintable(at));
            QVERIFY2(f.model().requests().SettingsLoaded, qPrintable(at));
            QVERIFY2(f.model().ram2Held() && f.model().ram3Held(), qPrintable(at));
            if (!d.offered.isEmpty())
                QVERIFY2(offered == d.offered,
                         qPrintable(at + QStringLiteral(": ") + offered.join(u'|').left(200)));
            if (!d.sectionIntact)
                continue;
            QVERIFY2(!offered.isEmpty() && offered.first() == m_section, qPrintable(at));
            Ram2Image expected2 = before2;
            Ram3Image expected3 = before3;
            for (std::size_t i = 0; i < m_lines.size(); ++i) {
                if (m_lines[i].ram3)
                    expectField(expected3, f.memory().ram3, m_saved3, m_lines[i], d.expect[i]);
                else
                    expectField(expected2, f.memory().ram2, m_saved2, m_lines[i], d.expect[i]);
            }
            QVERIFY2(f.memory().ram2 == expected2,
                     qPrintable(at + QStringLiteral(": RAM2 ") +
                                firstDifference(f.memory().ram2, expected2, m_lines, false)));
            QVERIFY2(f.memory().ram3 == expected3,
                     qPrintable(at + QStringLiteral(": RAM3 ") +
                                firstDifference(f.memory().ram3, expected3, m_lines, true)));
        }
        // The truncated headers alone make some loads fail, and most succeed.
        QVERIFY(failedLoads > 10 && failedLoads < 500);
    }

    /// Section names with white space at their edges are offered and load as they stand.
    void oddSectionNames_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("blanks around the name") << QByteArray("[ \tNAME\t ]");
        QTest::newRow("no-break space before the name") << QByteArray("[\xA0NAME]");
        QTest::newRow("CR behind the name") << QByteArray("[NAME\r]");
        QTest::newRow("vertical tab before the name") << QByteArray("[\vNAME]");
        QTest::newRow("text behind the bracket") << QByteArray("[NAME] ; comment");
    }
    void oddSectionNames()
    {
        QFETCH(QByteArray, header);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TForm1 f(TForm1::Options{false});
        Recorder r;
        r.attach(f);
        f.configFiles().setSettingsDir(dir.path());
        header.replace("NAME", m_section.toLatin1());
        QVERIFY(writeAll(f.configFiles().settingsFile(), header + m_good.sliced(m_headerEnd - 2)));
        f.prompts().runDialog = [](QDialog&) { return true; };
        const DeviceMemory before = f.memory();
        f.factoryPage().ReadSettingsButtonClick();
        QCOMPARE(r.fileErrors, QStringList());
        QCOMPARE(f.memory().ram2, withTableFields(before.ram2, m_saved2, m_lines, false));
        QCOMPARE(f.memory().ram3, withTableFields(before.ram3, m_saved3, m_lines, true));
    }

    /// Paths that are no readable or writable settings file: loading reports "Open error" and
    /// changes nothing, saving reports "Save error" and leaves what stands there.
    void settingsPathsThatFail_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("saveFails");
        QTest::newRow("no settings file yet") << "missing" << false;
        QTest::newRow("settings.ini is a folder") << "folder" << true;
        QTest::newRow("the settings folder was removed") << "removed" << true;
        QTest::newRow("the settings folder is a file") << "file" << true;
        QTest::newRow("an empty settings file") << "empty" << false;
    }
    void settingsPathsThatFail()
    {
        QFETCH(QString, setup);
        QFETCH(bool, saveFails);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TForm1 f(TForm1::Options{false});
        Recorder r;
        r.attach(f);
        holdInstalledRecords(f);
        const QString sub = QDir(dir.path()).filePath(QStringLiteral("sub"));
        QVERIFY(QDir().mkpath(sub));
        f.configFiles().setSettingsDir(sub);
        if (setup == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(f.configFiles().settingsFile()));
        if (setup == QLatin1String("removed"))
            QVERIFY(QDir(sub).removeRecursively());
        if (setup == QLatin1String("file")) {
            QVERIFY(QDir(sub).removeRecursively());
            QVERIFY(writeAll(sub, "not a folder"));
        }
        if (setup == QLatin1String("empty"))
            QVERIFY(writeAll(f.configFiles().settingsFile(), QByteArray()));
        int dialogs = 0;
        f.prompts().runDialog = [&](QDialog&) {
            ++dialogs;
            return true;
        };
        const DeviceMemory before = f.memory();

        f.factoryPage().ReadSettingsButtonClick();
        QCOMPARE(r.fileErrors, QStringList{QStringLiteral("Open error")});
        QVERIFY(!r.reasons.first().isEmpty());
        QCOMPARE(dialogs, 0);
        QCOMPARE(f.memory().ram2, before.ram2);
        QCOMPARE(f.memory().ram3, before.ram3);
        QVERIFY(!f.model().requests().SettingsLoaded);
        QVERIFY(r.errors.isEmpty());

        r.clear();
        f.factoryPage().SaveSettingsButtonClick();
        QCOMPARE(r.fileErrors, saveFails ? QStringList{QStringLiteral("Save error")} : QStringList());
        QVERIFY(r.errors.isEmpty());
        if (setup == QLatin1String("folder"))
            QVERIFY(QFileInfo(f.configFiles().settingsFile()).isDir());
        if (setup == QLatin1String("file"))
            QCOMPARE(readAll(sub), QByteArray("not a folder"));
        if (!saveFails)
            QCOMPARE(readAll(f.configFiles().settingsFile()), m_good);
    }

    /// Saving a meter's section into a file of many sections, some of them damaged, rewrites that
    /// section only: every other one keeps its bytes, and the saved one reads back as saved.
    void saveKeepsOtherSections()
    {
        QRandomGenerator rng(seed() + 1);
        const QByteArray body = m_good.sliced(m_headerEnd);
        const auto junk = [&rng]() {
            // No line break and no '[': the noise stays inside its own section.
            QByteArray b = randomBytes(rng, 1 + rng.bounded(200));
            for (char& c : b)
                if (c == '\n' || c == '\r' || c == '[')
                    c = '#';
            return b;
        };
        for (int n = 0; n < 20; ++n) {
            const QString at = where(n, QStringLiteral("save among other sections"));
            std::vector<QByteArray> blocks;
            for (int s = 0, count = 2 + rng.bounded(14); s < count; ++s) {
                QByteArray block = "[" + QByteArray::number(1000 + s) + "]\r\n" + body;
                switch (rng.bounded(6)) {
                case 0:
                    block.replace("\r\n", "\n");
                    break;
                case 1:
                    block.insert(rng.bounded(block.size() - 8) + 8, junk() + "\r\n");
                    break;
                case 2:
                    block.insert(rng.bounded(block.size() - 8) + 8, QByteArray(3, '\0'));
                    break;
                case 3:
                    block = cp1250::decode(block).toUtf8();
                    break;
                case 4:
                    block += "; " + junk() + "\r\n" + QByteArray(64 * 1024, 'z') + "\r\n";
                    break;
                default:
                    break;
                }
                blocks.push_back(block);
            }
            // The meter's own section somewhere among them, or not there yet.
            const int own = rng.bounded(int(blocks.size()) + 1);
            const bool present = own < int(blocks.size());
            if (present)
                blocks[std::size_t(own)] = '[' + m_section.toLatin1() + "]\r\nDinPolarity=1\r\nOld=2\r\n";
            // A last line without its line end.
            if (rng.bounded(2))
                blocks.back().chop(2);
            QByteArray file;
            for (const QByteArray& b : blocks)
                file += b;
            const qsizetype ownAt = present ? file.indexOf('[' + m_section.toLatin1() + ']') : file.size();
            const qsizetype ownEnd = present ? ownAt + blocks[std::size_t(own)].size() : file.size();

            QTemporaryDir dir;
            QVERIFY(dir.isValid());
            TForm1 f(TForm1::Options{false});
            Recorder r;
            r.attach(f);
            f.configFiles().setSettingsDir(dir.path());
            holdInstalledRecords(f);
            QVERIFY(writeAll(f.configFiles().settingsFile(), file));
            f.factoryPage().SaveSettingsButtonClick();
            QVERIFY2(r.fileErrors.isEmpty(), qPrintable(at + QStringLiteral(": ") + r.reasons.join(u'|')));
            const QByteArray after = readAll(f.configFiles().settingsFile());
            // Everything before the section stays byte for byte (a last line gains its end when
            // the section is added behind it); everything behind it too.
            QByteArray head = file.left(ownAt);
            if (!present && !head.isEmpty() && !head.endsWith('\n'))
                head += "\r\n";
            const QByteArray tail = file.sliced(ownEnd);
            QVERIFY2(after.startsWith(head), qPrintable(at));
            QVERIFY2(after.endsWith(tail) && after.size() >= head.size() + tail.size(), qPrintable(at));
            QVERIFY2(after.sliced(head.size()).startsWith('[' + m_section.toLatin1() + "]\r\n"),
                     qPrintable(at));
            // The old key nobody writes stays in the section.
            if (present)
                QVERIFY2(after.contains("\r\nOld=2\r\n"), qPrintable(at));
            const Ram2Image other2 = randomImage<ram2::kSize>(rng);
            const Ram3Image other3 = randomImage<ram3::kSize>(rng);
            Ram2Image ram2 = other2;
            Ram3Image ram3 = other3;
            QString reason;
            QVERIFY2(loadSettings(f.configFiles().settingsFile(), m_section, ram2, ram3, QLocale(), &reason),
                     qPrintable(at + QStringLiteral(": ") + reason));
            QVERIFY2(ram2 == withTableFields(other2, f.memory().ram2, m_lines, false) &&
                         ram3 == withTableFields(other3, f.memory().ram3, m_lines, true),
                     qPrintable(at));
        }
    }

    /// Record files of every wrong size, and folders, through the configuration page's buttons.
    void recordFiles_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<qsizetype>("size"); // of the file read; -1 for no file
        QTest::addColumn<bool>("loads");
        QTest::newRow("empty") << "file" << qsizetype(0) << false;
        QTest::newRow("313 bytes") << "file" << qsizetype(313) << false;
        QTest::newRow("314 bytes") << "file" << qsizetype(314) << true;
        QTest::newRow("315 bytes") << "file" << qsizetype(315) << true;
        QTest::newRow("1 MB") << "file" << qsizetype(1 << 20) << true;
        QTest::newRow("a folder") << "folder" << qsizetype(-1) << false;
        QTest::newRow("no such file") << "missing" << qsizetype(-1) << false;
    }
    void recordFiles()
    {
        QFETCH(QString, what);
        QFETCH(qsizetype, size);
        QFETCH(bool, loads);
        QRandomGenerator rng(seed() + 2 + quint32(size + 1));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TForm1 f(TForm1::Options{false});
        Recorder r;
        r.attach(f);
        f.configFiles().setSettingsDir(dir.path());
        holdInstalledRecords(f);
        const QString path = QDir(dir.path()).filePath(QStringLiteral("meter.user"));
        const QByteArray bytes = randomBytes(rng, std::max<qsizetype>(size, 0));
        if (what == QLatin1String("file"))
            QVERIFY(writeAll(path, bytes));
        if (what == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(path));
        f.prompts().chooseFile = [&path](const FileRequest&) { return path; };
        const Ram2Image before = f.memory().ram2;

        f.configFiles().ButtonReadRecordClick();
        QVERIFY(r.errors.isEmpty());
        if (loads) {
            QCOMPARE(r.fileErrors, QStringList());
            QVERIFY(std::equal(bytes.begin(), bytes.begin() + 314,
                               reinterpret_cast<const char*>(f.memory().ram2.data())));
        } else {
            QCOMPARE(r.fileErrors, QStringList{QStringLiteral("Open error")});
            QVERIFY(!r.reasons.first().isEmpty());
            QCOMPARE(f.memory().ram2, before);
        }

        // Saving over what stands there: a file is replaced by the packed image; a folder stays.
        r.clear();
        f.configFiles().ButtonSaveRecordClick();
        QVERIFY(r.errors.isEmpty());
        if (what == QLatin1String("folder")) {
            QCOMPARE(r.fileErrors, QStringList{QStringLiteral("Save error")});
            QVERIFY(QFileInfo(path).isDir());
        } else {
            QCOMPARE(r.fileErrors, QStringList());
            QCOMPARE(readAll(path), QByteArray(reinterpret_cast<const char*>(f.memory().ram2.data()), 314));
        }
    }

    /// A record file into a folder that is gone: "Save error", and nothing is created.
    void recordFileIntoRemovedFolder()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TForm1 f(TForm1::Options{false});
        Recorder r;
        r.attach(f);
        holdInstalledRecords(f);
        const QString gone = QDir(dir.path()).filePath(QStringLiteral("gone"));
        QVERIFY(QDir().mkpath(gone));
        const QString path = QDir(gone).filePath(QStringLiteral("meter.user"));
        QVERIFY(QDir(gone).removeRecursively());
        f.prompts().chooseFile = [&path](const FileRequest&) { return path; };
        f.configFiles().ButtonSaveRecordClick();
        QCOMPARE(r.fileErrors, QStringList{QStringLiteral("Save error")});
        QVERIFY(!QFileInfo::exists(gone));
        r.clear();
        const Ram2Image before = f.memory().ram2;
        f.configFiles().ButtonReadRecordClick();
        QCOMPARE(r.fileErrors, QStringList{QStringLiteral("Open error")});
        QCOMPARE(f.memory().ram2, before);
    }

    /// The log file's folder vanishes while logging: the ticks fail with one message, logging goes
    /// on, and the file starts again with its header when the folder is back.
    void logFolderVanishes()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TForm1 f(TForm1::Options{false});
        Recorder r;
        r.attach(f);
        const QString logs = QDir(dir.path()).filePath(QStringLiteral("logs"));
        QVERIFY(QDir().mkpath(logs));
        const QString chosen = QDir(logs).filePath(QStringLiteral("meres"));
        f.prompts().chooseFile = [&chosen](const FileRequest&) { return chosen; };
        f.commPage().LogbuttonClick();
        QVERIFY(f.logger().isRunning());
        const QString file = f.logger().fileName();
        QCOMPARE(file, chosen + QStringLiteral(".txt"));

        NetRecord rec;
        set(rec, net::L1urms, 230.5f);
        QDateTime now(QDate(2024, 3, 1), QTime(12, 0, 1));
        QVERIFY(f.logger().tick(&rec, now));
        QVERIFY(f.logger().tick(&rec, now.addSecs(1)));
        QCOMPARE(readAll(file).count("\r\n"), 3);

        QVERIFY(QDir(logs).removeRecursively());
        for (int i = 2; i < 7; ++i)
            QVERIFY(!f.logger().tick(&rec, now.addSecs(i)));
        QVERIFY(f.logger().failing());
        QVERIFY(f.logger().isRunning());
        QCOMPARE(r.errors.size(), 1);
        QVERIFY(r.errors.first().contains(QDir::toNativeSeparators(file)));

        QVERIFY(QDir().mkpath(logs));
        QVERIFY(f.logger().tick(&rec, now.addSecs(7)));
        QVERIFY(!f.logger().failing());
        QCOMPARE(r.errors.size(), 1);
        const QByteArray again = readAll(file);
        QVERIFY(again.startsWith(logHeaderLine()));
        QCOMPARE(again.count("\r\n"), 2);

        // The folder gone again: a new run of failures, a new message.
        QVERIFY(QDir(logs).removeRecursively());
        QVERIFY(!f.logger().tick(&rec, now.addSecs(8)));
        QCOMPARE(r.errors.size(), 2);
        QVERIFY(r.fileErrors.isEmpty());
    }
};

QTEST_MAIN(TstBadFiles)
#include "tst_bad_files.moc"
