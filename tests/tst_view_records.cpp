#include "measure/ViewRecords.h"
#include "platform/NumberFormat.h"

#include <QLocale>
#include <QSet>
#include <QTest>

#include <cmath>
#include <limits>

using namespace kvam;

namespace {

const NetField& netField(const char* name)
{
    for (const NetField& f : netFields())
        if (qstrcmp(f.name, name) == 0)
            return f;
    qFatal("no net field %s", name);
}

QString netText(const NetRecord& rec, const char* name)
{
    return netFieldText(rec, netField(name));
}

VersionRecord versionRecord(quint8 major, quint8 minor, quint16 build)
{
    VersionRecord v;
    v.set<quint8>(0, major);
    v.set<quint8>(1, minor);
    v.set<quint16>(2, build);
    return v;
}

} // namespace

class TstViewRecords : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void formatting_data();
    void formatting();
    void netTableLayout();
    void netTextsAtOffsets();
    void phasorInputFields();
    void phasorReferences_data();
    void phasorReferences();
    void errorLed_data();
    void errorLed();
    void ioBits();
    void version_data();
    void version();
    void versionDate_data();
    void versionDate();
    void factoryData();
    void demand();
    void harmonicsTitle_data();
    void harmonicsTitle();
    void harmonicsBars();
};

// Measurement texts under a dot and a comma locale: the separator follows the user's locale,
// dots that are part of the text stay.
void TstViewRecords::formatting_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("field");
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("expected");

    const QLocale dot(QLocale::English, QLocale::UnitedStates);
    const QLocale comma(QLocale::Hungarian, QLocale::Hungary);
    QTest::newRow("power kW dot") << dot << "L1p" << 1234.5f << "     1.235";
    QTest::newRow("power kW comma") << comma << "L1p" << 1234.5f << "     1,235";
    QTest::newRow("sum reactive comma") << comma << "Sumq" << -2500.0f << "    -2,500";
    QTest::newRow("frequency") << dot << "L1f" << 50.0f << "     50.00";
    QTest::newRow("frequency comma") << comma << "L2f" << 49.996f << "     50,00";
    QTest::newRow("voltage") << dot << "L1urms" << 230.04f << "     230.0";
    QTest::newRow("voltage comma") << comma << "L13urms" << 400.26f << "     400,3";
    QTest::newRow("current") << dot << "L3irms" << 4.9876f << "     4.988";
    QTest::newRow("power factor") << comma << "Sumpf" << -0.866f << "    -0,866";
    QTest::newRow("large power") << dot << "L1s" << 12345678.0f << " 12345.678";
}

void TstViewRecords::formatting()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, field);
    QFETCH(float, value);
    QFETCH(QString, expected);

    QLocale::setDefault(locale);
    const NetField& f = netField(field.toLatin1().constData());
    NetRecord rec;
    rec.set<float>(f.offset, value);
    QCOMPARE(netFieldText(rec, f), expected);

    // The THD title passes its channel text through %s: a dot there is not a decimal point.
    const QString title = formatNumber("%s THD: %4.1f %%", "v3.2", 2.5);
    const QString point = locale.decimalPoint();
    QCOMPARE(title, QStringLiteral("v3.2 THD:  2") + point + QStringLiteral("5 %"));
}

// The table is what the data logger and the page rely on: every offset distinct, inside the
// record, 4-aligned, and the skipped floats (36, 116, 140..152) never shown.
void TstViewRecords::netTableLayout()
{
    const auto& fields = netFields();
    QCOMPARE(fields.size(), std::size_t(39));
    QSet<std::size_t> offsets;
    QSet<QString> names;
    for (const NetField& f : fields) {
        QVERIFY(f.offset % 4 == 0);
        QVERIFY(f.offset + 4 <= NetRecord::kSize);
        offsets.insert(f.offset);
        names.insert(QString::fromLatin1(f.name));
    }
    QCOMPARE(offsets.size(), qsizetype(39));
    QCOMPARE(names.size(), qsizetype(39));
    for (std::size_t unused : {36u, 116u, 140u, 144u, 148u, 152u})
        QVERIFY2(!offsets.contains(unused), qPrintable(QString::number(unused)));

    // Display order: line voltages first, Sumpf straight after the apparent sum, THDs last.
    QCOMPARE(QString(fields.front().name), QStringLiteral("L12urms"));
    QCOMPARE(QString(fields[26].name), QStringLiteral("Sums"));
    QCOMPARE(QString(fields[27].name), QStringLiteral("Sumpf"));
    QCOMPARE(QString(fields.back().name), QStringLiteral("L3ithd"));
}

void TstViewRecords::netTextsAtOffsets()
{
    QLocale::setDefault(QLocale::c());
    NetRecord rec;
    // A distinct value in every float, so a wrong offset shows up as a wrong number.
    for (std::size_t i = 0; i < 45; ++i)
        rec.set<float>(4 * i, float(i) + 0.3f);

    const QStringList texts = netFieldTexts(rec);
    QCOMPARE(texts.size(), qsizetype(39));
    QCOMPARE(texts[0], QStringLiteral("       0.3"));               // L12urms, offset 0
    QCOMPARE(texts[1], QStringLiteral("       1.3"));               // L23urms, offset 4
    QCOMPARE(texts[2], QStringLiteral("       2.3"));               // L13urms, offset 8
    QCOMPARE(texts[3], QStringLiteral("       3.3"));               // L1urms
    QCOMPARE(texts[6], QStringLiteral("     6.300"));               // L1irms, offset 24
    QCOMPARE(texts[9], QStringLiteral("     0.010"));               // L1p: 10.3 W -> 0.010 kW
    QCOMPARE(netText(rec, "L3s"), QStringLiteral("     0.018"));    // offset 72: 18.3 VA
    QCOMPARE(netText(rec, "Sump"), QStringLiteral("     0.025"));   // offset 100
    QCOMPARE(netText(rec, "Sumpf"), QStringLiteral("    28.300"));  // offset 112, not scaled
    QCOMPARE(netText(rec, "L1f"), QStringLiteral("     30.30"));    // offset 120, skips 116
    QCOMPARE(netText(rec, "L13fi"), QStringLiteral("      34.3"));  // offset 136
    QCOMPARE(netText(rec, "L1uthd"), QStringLiteral("      39.3")); // offset 156, skips 140..152
    QCOMPARE(texts.back(), QStringLiteral("      44.3"));           // L3ithd, offset 176
}

void TstViewRecords::phasorInputFields()
{
    NetRecord net;
    for (std::size_t i = 0; i < 45; ++i)
        net.set<float>(4 * i, float(100 + i));
    const PhasorInput in = makePhasorInput(net, CaldataRecord(), 2.0f, 0.5f);
    QCOMPARE(in.U12, 100.0f);
    QCOMPARE(in.U13, 102.0f); // L1-L3 comes from offset 8
    QCOMPARE(in.U23, 101.0f); // L2-L3 from offset 4
    QCOMPARE(in.U1, 103.0f);
    QCOMPARE(in.U3, 105.0f);
    QCOMPARE(in.I1, 106.0f);
    QCOMPARE(in.I3, 108.0f);
    QCOMPARE(in.Fi1, 122.0f); // offset 88
    QCOMPARE(in.Fi3, 124.0f);
    QCOMPARE(in.Fi12, 133.0f); // offset 132
    QCOMPARE(in.Fi13, 134.0f);
    QCOMPARE(in.ZoomU, 2.0f);
    QCOMPARE(in.ZoomI, 0.5f);
}

void TstViewRecords::phasorReferences_data()
{
    QTest::addColumn<float>("calU");
    QTest::addColumn<float>("calI");
    QTest::addColumn<float>("unom");
    QTest::addColumn<float>("inom");

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    QTest::newRow("nothing read") << 0.0f << 0.0f << 230.0f << 5.0f;
    QTest::newRow("reported nominals") << 57.7f << 1.0f << 57.7f << 1.0f;
    QTest::newRow("below one") << 0.5f << 0.999f << 230.0f << 5.0f;
    QTest::newRow("negative") << -230.0f << -5.0f << 230.0f << 5.0f;
    QTest::newRow("not a number") << nan << nan << 230.0f << 5.0f;
    QTest::newRow("infinite") << inf << inf << 230.0f << 5.0f;
}

void TstViewRecords::phasorReferences()
{
    QFETCH(float, calU);
    QFETCH(float, calI);
    QFETCH(float, unom);
    QFETCH(float, inom);

    CaldataRecord cal;
    cal.set<float>(12, calU);  // channel 0, L1 U
    cal.set<float>(16, calI);  // channel 1, L1 I
    cal.set<float>(20, 99.0f); // L2 U must not be taken for L1 I
    const PhasorInput in = makePhasorInput(NetRecord(), cal, 1.0f, 1.0f);
    QCOMPARE(in.Unom, unom);
    QCOMPARE(in.Inom, inom);
}

void TstViewRecords::errorLed_data()
{
    QTest::addColumn<quint32>("staticErrors");
    QTest::addColumn<quint32>("mask");
    QTest::addColumn<bool>("lit");

    QTest::newRow("no errors") << 0u << 0xFFFFFFFFu << false;
    QTest::newRow("calibration, mask 0") << 0x00100000u << 0u << true;
    QTest::newRow("initialisation, mask 0") << 0x00200000u << 0u << true;
    QTest::newRow("data saving, mask 0") << 0x00400000u << 0u << true;
    QTest::newRow("L1 dip, mask 0") << 0x1u << 0u << false;
    QTest::newRow("L1 dip, in mask") << 0x1u << 0x1u << true;
    QTest::newRow("L1 dip, other bit in mask") << 0x1u << 0x2u << false;
    QTest::newRow("bit 23 without mask") << 0x00800000u << 0u << false;
}

void TstViewRecords::errorLed()
{
    QFETCH(quint32, staticErrors);
    QFETCH(quint32, mask);
    QFETCH(bool, lit);

    StateRecord rec;
    rec.set<quint32>(0, staticErrors);
    rec.set<quint32>(4, 0xFFFFFFFFu); // dynamic errors never light the lamp
    rec.set<quint32>(8, mask);
    QCOMPARE(errorLedLit(rec), lit);
}

void TstViewRecords::ioBits()
{
    StateRecord rec;
    rec.set<quint8>(12, 0xFF); // the byte before IoBits is not ours
    rec.set<quint8>(13, 0x11);
    QVERIFY(ioActive(rec, kIoOutput1));
    QVERIFY(!ioActive(rec, kIoOutput2));
    QVERIFY(ioActive(rec, kIoInput1));
    QVERIFY(!ioActive(rec, kIoInput2));
    QVERIFY(!ioActive(rec, kIoInput3));
    rec.set<quint8>(13, 0x62);
    QVERIFY(!ioActive(rec, kIoOutput1));
    QVERIFY(ioActive(rec, kIoOutput2));
    QVERIFY(!ioActive(rec, kIoInput1));
    QVERIFY(ioActive(rec, kIoInput2));
    QVERIFY(ioActive(rec, kIoInput3));
}

void TstViewRecords::version_data()
{
    QTest::addColumn<quint8>("major");
    QTest::addColumn<quint8>("minor");
    QTest::addColumn<quint16>("build");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("supported");

    QTest::newRow("3.2.261") << quint8(3) << quint8(2) << quint16(0x0105) << "3.2.261" << true;
    QTest::newRow("3.1.12") << quint8(3) << quint8(1) << quint16(12) << "3.1.12" << true;
    QTest::newRow("largest build") << quint8(3) << quint8(255) << quint16(65535) << "3.255.65535" << true;
    QTest::newRow("major 4") << quint8(4) << quint8(0) << quint16(1) << "4.0.1" << false;
    QTest::newRow("major 2") << quint8(2) << quint8(9) << quint16(9) << "2.9.9" << false;
    QTest::newRow("major 0") << quint8(0) << quint8(0) << quint16(0) << "0.0.0" << false;
}

void TstViewRecords::version()
{
    QFETCH(quint8, major);
    QFETCH(quint8, minor);
    QFETCH(quint16, build);
    QFETCH(QString, text);
    QFETCH(bool, supported);

    QLocale::setDefault(QLocale(QLocale::Hungarian)); // integers have no separator to swap
    const VersionRecord rec = versionRecord(major, minor, build);
    QCOMPARE(versionText(rec), text);
    QCOMPARE(versionSupported(rec), supported);
    QCOMPARE(unsupportedVersionMessage(rec),
             QStringLiteral("A készülék verziója ") + text +
                 QStringLiteral(
                     "\r\nEz a program csak a v3.x.x verziójú KVAM2100 készülékek beállítására alkalmas!"));
}

void TstViewRecords::versionDate_data()
{
    QTest::addColumn<QByteArray>("bytes"); // the 12 bytes at offset 4
    QTest::addColumn<QString>("shown");

    QTest::newRow("twelve, no zero") << QByteArray("2023.11.30AB") << "2023.11.30AB";
    QTest::newRow("ten and zeros") << QByteArray("2023.11.30\0\0", 12) << "2023.11.30";
    QTest::newRow("zero first") << QByteArray(12, '\0') << "";
    QTest::newRow("text after zero") << QByteArray("2023\0XXXXXXX", 12) << "2023";
}

void TstViewRecords::versionDate()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);

    VersionRecord rec = versionRecord(3, 0, 0);
    for (int i = 0; i < 12; ++i)
        rec.set<char>(4 + std::size_t(i), bytes.at(i));
    rec.set<quint8>(16, '9'); // the byte after the date must not leak into it
    QCOMPARE(versionDateText(rec), shown);
}

void TstViewRecords::factoryData()
{
    VersionRecord rec = versionRecord(3, 0, 0);
    rec.set<quint8>(16, 23);
    rec.set<quint8>(17, 12);
    rec.set<quint32>(18, 0xFFFFFFFFu);
    QCOMPARE(manufactureYear(rec), 23);
    QCOMPARE(manufactureMonth(rec), 12);
    QCOMPARE(factoryNumberText(rec), QStringLiteral("4294967295"));
    rec.set<quint32>(18, 100234u);
    QCOMPARE(factoryNumberText(rec), QStringLiteral("100234"));
}

void TstViewRecords::demand()
{
    EpRecord rec;
    rec.fill(0xEE); // unused bytes around the fields
    rec.set<quint32>(8, 1u);
    rec.set<quint32>(12, 2u);
    rec.set<quint32>(16, 0xFFFFFFFFu);
    rec.set<quint32>(20, 4u);
    rec.set<quint16>(24, 59);
    QCOMPARE(epPrevious(rec), 1u);
    QCOMPARE(epEstimated(rec), 2u);
    QCOMPARE(epEnabled(rec), 0xFFFFFFFFu);
    QCOMPARE(epCurrent(rec), 4u);
    QCOMPARE(epElapsed(rec), 5u);
    rec.set<quint16>(24, 65535);
    QCOMPARE(epElapsed(rec), 6553u);
    rec.set<quint16>(24, 9);
    QCOMPARE(epElapsed(rec), 0u);
}

void TstViewRecords::harmonicsTitle_data()
{
    QTest::addColumn<quint8>("code");
    QTest::addColumn<float>("thd");
    QTest::addColumn<QString>("title");

    QTest::newRow("L1 U") << quint8(0) << 2.5f << "L1 U THD:  2.5 %";
    QTest::newRow("L2 U") << quint8(1) << 0.0f << "L2 U THD:  0.0 %";
    QTest::newRow("L3 U") << quint8(2) << 12.34f << "L3 U THD: 12.3 %";
    QTest::newRow("L1 I") << quint8(3) << 100.0f << "L1 I THD: 100.0 %";
    QTest::newRow("L2 I") << quint8(4) << 7.04f << "L2 I THD:  7.0 %";
    QTest::newRow("L3 I") << quint8(5) << 1.0f << "L3 I THD:  1.0 %";
    QTest::newRow("unknown 6") << quint8(6) << 1.0f << "??? THD:  1.0 %";
    QTest::newRow("unknown 9") << quint8(9) << 3.0f << "??? THD:  3.0 %";
    QTest::newRow("unknown 255") << quint8(255) << 3.0f << "??? THD:  3.0 %";
}

void TstViewRecords::harmonicsTitle()
{
    QFETCH(quint8, code);
    QFETCH(float, thd);
    QFETCH(QString, title);

    HarmonicsRecord rec;
    rec.set<quint8>(0, code);
    rec.set<float>(1, thd); // unaligned on purpose: that is where the meter puts it
    rec.set<quint16>(5, 0xFFFF);
    QCOMPARE(harmonicsChannel(rec), int(code));
    QCOMPARE(kvam::harmonicsTitle(rec), title);
}

void TstViewRecords::harmonicsBars()
{
    HarmonicsRecord rec;
    rec.set<float>(1, std::numeric_limits<float>::quiet_NaN());
    const quint16 raw[20] = {1000, 25, 0, 1, 9, 10, 65535, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 999};
    for (std::size_t n = 0; n < 20; ++n)
        rec.set<quint16>(5 + 2 * n, raw[n]);

    const HarmonicAmplitudes a = harmonicsAmplitudes(rec);
    const auto h = harmonicsBarHeights(a);
    QCOMPARE(h[0], 100.0);
    QCOMPARE(h[1], 2.5);
    QCOMPARE(h[2], 0.0);
    QCOMPARE(h[3], 0.1);
    QCOMPARE(h[6], 6553.5); // beyond the axis: drawn cut off, not changed
    QCOMPARE(h[19], 99.9);  // the last amplitude ends at byte 44
    // A THD that is not a number is shown as such, without tripping the formatter.
    QVERIFY(kvam::harmonicsTitle(rec).startsWith(QStringLiteral("L1 U THD: ")));
}

QTEST_GUILESS_MAIN(TstViewRecords)
#include "tst_view_records.moc"
