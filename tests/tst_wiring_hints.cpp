// The wiring hints: one table row per hint and per sound installation, built as measurement records
// with the records' own setters and judged against references made from RAM2 and RAM3 images; then
// the phasor page showing them in both languages.

#include "measure/WiringHints.h"
#include "platform/LanguageSwitch.h"
#include "texts/UiTexts.h"
#include "views/PhasorPage.h"

#include <QLabel>
#include <QLocale>
#include <QTest>

#include <cmath>
#include <limits>

using namespace kvam;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

/// One phase as the meter measures it: voltage (V), current (A), active power (W), power factor.
struct Phase
{
    float u, i, p, pf;
};

/// A measurement record of three phases and the angles of the L2 and L3 voltages.
NetRecord measured(const Phase (&ph)[3], float fi12 = 240.0f, float fi13 = 120.0f)
{
    NetRecord rec;
    const Field<net::Record, FieldType::f32> fields[3][4] = {{net::L1urms, net::L1irms, net::L1p, net::L1pf},
                                                             {net::L2urms, net::L2irms, net::L2p, net::L2pf},
                                                             {net::L3urms, net::L3irms, net::L3p, net::L3pf}};
    for (int k = 0; k < 3; ++k) {
        set(rec, fields[k][0], ph[k].u);
        set(rec, fields[k][1], ph[k].i);
        set(rec, fields[k][2], ph[k].p);
        set(rec, fields[k][3], ph[k].pf);
    }
    set(rec, net::L12fi, fi12);
    set(rec, net::L13fi, fi13);
    return rec;
}

/// A meter on 40:1 current transformers (5 A nominal: loaded from 20 A) in arrangement `arrangement`.
WiringReference reference(int arrangement = 0)
{
    Ram2Image ram2;
    for (std::size_t k = 0; k < 6; ++k)
        set(ram2, ram2::Ratio, k, k % 2 ? 40.0f : 1.0f);
    set(ram2, ram2::Elrendezes, std::uint16_t(arrangement));
    Ram3Image ram3;
    for (std::size_t k = 0; k < 6; ++k)
        set(ram3, ram3::Calrms, k, k % 2 ? 5.0f : 230.0f);
    return wiringReference(&ram2, &ram3);
}

QStringList names(const std::vector<WiringHint>& hints)
{
    static const char* const kinds[] = {"missing voltage", "phase order", "CT reversed", "CT on other phase"};
    QStringList out;
    for (const WiringHint& h : hints)
        out << QStringLiteral("%1 L%2").arg(QLatin1String(kinds[int(h.kind)])).arg(h.phase);
    return out;
}

constexpr Phase kLoaded{230, 100, 20700, 0.9f}; // 100 A at 0.9 lagging
constexpr Phase kLight{231, 12, -300, 0.1f};    // 12 A: below a tenth of 200 A

} // namespace

Q_DECLARE_METATYPE(kvam::NetRecord)
Q_DECLARE_METATYPE(kvam::WiringReference)

class TstWiringHints : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void hints_data()
    {
        QTest::addColumn<NetRecord>("record");
        QTest::addColumn<WiringReference>("ref");
        QTest::addColumn<QStringList>("expected");
        const WiringReference three = reference();
        const QStringList none;
        // Sound installations.
        QTest::newRow("balanced load") << measured({kLoaded, kLoaded, kLoaded}) << three << none;
        QTest::newRow("capacitive phase, power factor as the meter gives it")
            << measured({kLoaded, {229, 80, 16500, 0.9f}, kLoaded}) << three << none;
        QTest::newRow("light load, any power flow") << measured({kLight, kLight, kLight}) << three << none;
        QTest::newRow("power factor at the limit")
            << measured({{230, 100, 12650, 0.55f}, kLoaded, kLoaded}) << three << none;
        QTest::newRow("L2 at -120 degrees")
            << measured({kLoaded, kLoaded, kLoaded}, -120, 120) << three << none;
        QTest::newRow("single-phase, L2 and L3 unused")
            << measured({kLoaded, {0, 0, 0, 0}, {0, 0, -50, 0}}, 0, 0) << reference(5) << none;
        QTest::newRow("values not finite")
            << measured({{230, 100, kNaN, kNaN}, {kNaN, 100, 20700, 0.9f}, kLoaded}, 120, 240) << three
            << none;
        // One hint each.
        QTest::newRow("L2 reversed") << measured({kLoaded, {230, 100, -20700, -0.9f}, kLoaded}) << three
                                     << QStringList{"CT reversed L2"};
        QTest::newRow("L3 on another phase") << measured({kLoaded, kLoaded, {230, 100, 6900, 0.3f}}) << three
                                             << QStringList{"CT on other phase L3"};
        QTest::newRow("L1 on another phase and reversed")
            << measured({{230, 100, -6900, -0.3f}, kLoaded, kLoaded}) << three
            << QStringList{"CT reversed L1", "CT on other phase L1"};
        QTest::newRow("phase order reversed")
            << measured({kLoaded, kLoaded, kLoaded}, 120, 240) << three << QStringList{"phase order L0"};
        QTest::newRow("L3 voltage missing") << measured({kLoaded, kLoaded, {40, 100, 0, 0.02f}}, 240, 300)
                                            << three << QStringList{"missing voltage L3"};
        QTest::newRow("single-phase, L1 voltage missing")
            << measured({{3, 20, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}, 0, 0) << reference(5)
            << QStringList{"missing voltage L1"};
        QTest::newRow("loaded through the ratio: 25 A of 200")
            << measured({{230, 25, 1700, 0.3f}, kLoaded, kLoaded}) << three
            << QStringList{"CT on other phase L1"};
        QTest::newRow("without records: 3 A of 5")
            << measured({{230, 3, -600, -0.9f}, kLoaded, kLoaded}) << wiringReference(nullptr, nullptr)
            << QStringList{"CT reversed L1"};
        QTest::newRow("order and a reversed phase")
            << measured({kLoaded, kLoaded, {230, 100, -20700, -0.9f}}, 120, 240) << three
            << QStringList{"phase order L0", "CT reversed L3"};
    }
    void hints()
    {
        QFETCH(NetRecord, record);
        QFETCH(WiringReference, ref);
        QFETCH(QStringList, expected);
        QCOMPARE(names(wiringHints(record, ref)), expected);
    }

    void referenceFromTheRecords()
    {
        Ram2Image ram2;
        set(ram2, ram2::Ratio, 3, 60.0f);
        set(ram2, ram2::Ratio, 4, kNaN); // L3 voltage: unusable, so 1
        set(ram2, ram2::Elrendezes, std::uint16_t(5));
        Ram3Image ram3;
        set(ram3, ram3::Calrms, 3, 1.0f); // a 1 A input on L2
        set(ram3, ram3::Calrms, 4, 0.5f); // below 1: not a nominal value, 230 V instead
        set(ram3, ram3::Calrms, 0, 100.0f);
        const WiringReference r = wiringReference(&ram2, &ram3);
        QCOMPARE(r.inom[1], 60.0f);
        QCOMPARE(r.unom[2], 230.0f);
        QCOMPARE(r.unom[0], 100.0f); // Ratio[0] is 0 in an empty image: 1 instead
        QVERIFY(!r.threePhase);
    }

    void pageShowsHintsInTheLanguageShown()
    {
        PhasorPage page;
        auto* label = page.findChild<QLabel*>(QStringLiteral("WiringHints"));
        QVERIFY(label);
        QCOMPARE(label->text(), QString()); // nothing judged yet
        page.showHints(measured({kLoaded, {230, 100, -20700, -0.9f}, kLoaded}), reference());
        QCOMPARE(label->text(),
                 QStringLiteral("L2: negatív hatásos teljesítmény (-20.70 kW): fordítva bekötött "
                                "áramváltó?"));
        applyLanguage({&page}, Language::English);
        QCOMPARE(label->text(),
                 QStringLiteral("L2: negative active power (-20.70 kW): current transformer reversed?"));
        page.showHints(measured({kLoaded, kLoaded, kLoaded}), reference());
        QCOMPARE(label->text(), QStringLiteral("No hint"));
        applyLanguage({&page}, Language::Hungarian);
        QCOMPARE(label->text(), QStringLiteral("Nincs figyelmeztetés"));
    }
};

QTEST_MAIN(TstWiringHints)
#include "tst_wiring_hints.moc"
