#include "platform/LabeledEdit.h"
#include "platform/Lamp.h"
#include "platform/LampGroup.h"
#include "views/ErrorsPage.h"
#include "views/HarmonicsPage.h"
#include "views/MeasurementPage.h"
#include "views/TrendPage.h"

#include <QChartView>
#include <QCheckBox>
#include <QGroupBox>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cstring>

using namespace kvam;

namespace {

QColor lampColour(const QWidget& page, const QString& name)
{
    const auto* lamp = page.findChild<Lamp*>(name);
    if (!lamp)
        qFatal("no lamp %s", qPrintable(name));
    return lamp->color();
}

QString fieldText(const QWidget& page, const QString& name)
{
    const auto* edit = page.findChild<QLineEdit*>(name);
    if (!edit)
        qFatal("no field %s", qPrintable(name));
    return edit->text();
}

// Every widget lies inside its parent, so nothing is cut off by the page or a group.
void verifyNothingClipped(const QWidget& page)
{
    QVERIFY(QRect(0, 0, 761, 573).contains(QRect(QPoint(0, 0), page.size())));
    for (const QWidget* w : page.findChildren<QWidget*>()) {
        const QWidget* parent = w->parentWidget();
        if (!parent || w->isWindow() || parent->inherits("QAbstractScrollArea") ||
            parent->inherits("QLineEdit") || parent->inherits("QGraphicsView") ||
            w->objectName().startsWith(QLatin1String("qt_")))
            continue; // internals of composite widgets lay themselves out
        QVERIFY2(QRect(QPoint(0, 0), parent->size()).contains(w->geometry()),
                 qPrintable(QLatin1String(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName() +
                            QLatin1String(" in ") + parent->objectName()));
    }
}

} // namespace

class TstViewPages : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void measurementControls();
    void measurementShowsNet();
    void threePhaseColumns();
    void ioLamps_data();
    void ioLamps();
    void versionAndDemand();
    void errorLamps_data();
    void errorLamps();
    void lampGroupEditing();
    void harmonicsChannel_data();
    void harmonicsChannel();
    void harmonicsChart();
    void pagesFit();
    void energyCounters_data();
    void energyCounters();
    void arrangementColumns_data();
    void arrangementColumns();
    void testOutputs_data();
    void testOutputs();
    void harmonicsChannelSignal();
};

void TstViewPages::measurementControls()
{
    MeasurementPage page;
    QCOMPARE(page.objectName(), QStringLiteral("TabSheet_Meres"));
    auto* group = page.findChild<QGroupBox*>(QStringLiteral("GroupBox6"));
    QVERIFY(group);
    QCOMPARE(group->size(), QSize(739, 391));

    // Captions belong to their fields by name: the language switch depends on it.
    const QList<QPair<QString, QString>> captions = {
        {"L1urms", "Urms [V]"},
        {"L2f", "Frekv."},
        {"L13urms", "L13 Urms [V]"},
        {"L13fi", "L13 Fi [°]"},
        {"Sumpf", "SUM PF"},
        {"L1EQminus", "EQ- [kVArh]"},
        {"L123EPplus", "EP+"},
        {"Gyartashonapja", "Gyártás hónapja"},
        {"EPtimeelapsed", "Eltelt idő"},
    };
    for (const auto& [name, caption] : captions) {
        auto* edit = page.findChild<LabeledEdit*>(name);
        QVERIFY2(edit, qPrintable(name));
        QCOMPARE(edit->text(), QStringLiteral("-"));
        QVERIFY(edit->isReadOnly());
        QCOMPARE(edit->size(), QSize(97, 21));
        QCOMPARE(edit->label()->objectName(), name + QStringLiteral("Label"));
        QCOMPARE(edit->label()->text(), caption);
        QVERIFY(edit->label()->geometry().right() < edit->geometry().left());
    }
    // 39 measurements, 16 energies, 5 version and 5 demand fields.
    QCOMPARE(page.findChildren<LabeledEdit*>().size(), qsizetype(65));

    auto* panel = page.findChild<QWidget*>(QStringLiteral("Panel1"));
    QVERIFY(panel);
    QCOMPARE(page.findChild<QLineEdit*>(QStringLiteral("L1urms"))->parentWidget(), group);
    for (const char* name : {"L2urms", "L3ithd", "Sump", "L13fi", "L123EQminus"})
        QCOMPARE(page.findChild<QLineEdit*>(QLatin1String(name))->parentWidget(), panel);

    QVERIFY(page.findChild<QCheckBox*>(QStringLiteral("Testout1")));
    QCOMPARE(page.findChild<QCheckBox*>(QStringLiteral("Testout2"))->text(), QStringLiteral("Teszt"));
    QCOMPARE(page.findChild<QPushButton*>(QStringLiteral("Passwbutton"))->text(),
             QStringLiteral("Beállítások"));
}

void TstViewPages::measurementShowsNet()
{
    QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
    MeasurementPage page;
    NetRecord rec;
    rec.set<float>(12, 230.04f);  // L1urms
    rec.set<float>(8, 400.0f);    // L13urms, shown in the L3 column
    rec.set<float>(40, 1234.5f);  // L1p
    rec.set<float>(112, 0.98f);   // Sumpf
    rec.set<float>(128, 50.0f);   // L3f
    rec.set<float>(136, -120.0f); // L13fi, shown in the L2 column
    page.showNet(rec);

    QCOMPARE(fieldText(page, "L1urms"), QStringLiteral("     230,0"));
    QCOMPARE(fieldText(page, "L1p"), QStringLiteral("     1,235"));
    // Written although Panel1 is hidden.
    QVERIFY(page.findChild<QWidget*>(QStringLiteral("Panel1"))->isHidden());
    QCOMPARE(fieldText(page, "L13urms"), QStringLiteral("     400,0"));
    QCOMPARE(fieldText(page, "Sumpf"), QStringLiteral("     0,980"));
    QCOMPARE(fieldText(page, "L3f"), QStringLiteral("     50,00"));
    QCOMPARE(fieldText(page, "L13fi"), QStringLiteral("    -120,0"));
    QCOMPARE(fieldText(page, "L2urms"), QStringLiteral("       0,0"));
    // The energy rows come from another record.
    QCOMPARE(fieldText(page, "L1EPplus"), QStringLiteral("-"));
}

void TstViewPages::threePhaseColumns()
{
    MeasurementPage page;
    page.show();
    auto* panel = page.findChild<QWidget*>(QStringLiteral("Panel1"));
    auto* l2 = page.findChild<LabeledEdit*>(QStringLiteral("L2urms"));
    QVERIFY(!panel->isVisible());
    QVERIFY(!l2->isVisible());
    QVERIFY(page.findChild<QLineEdit*>(QStringLiteral("L1urms"))->isVisible());

    page.setThreePhaseColumnsVisible(true);
    QVERIFY(panel->isVisible());
    QVERIFY(l2->isVisible());
    QVERIFY(l2->label()->isVisible());
    QVERIFY(page.threePhaseColumnsVisible());

    page.setThreePhaseColumnsVisible(false);
    QVERIFY(!l2->isVisible());
    QVERIFY(!page.threePhaseColumnsVisible());
}

void TstViewPages::ioLamps_data()
{
    QTest::addColumn<quint8>("bits");
    QTest::addColumn<QList<QColor>>("colours"); // Output1, Output2, Input1, Input2, Input3

    const QColor y(255, 255, 0), g(0, 255, 0), w(255, 255, 255);
    QTest::newRow("0x11") << quint8(0x11) << QList<QColor>{y, w, g, w, w};
    QTest::newRow("none") << quint8(0x00) << QList<QColor>{w, w, w, w, w};
    QTest::newRow("all") << quint8(0xFF) << QList<QColor>{y, y, g, g, g};
    QTest::newRow("unused bits only") << quint8(0x8C) << QList<QColor>{w, w, w, w, w};
    QTest::newRow("0x62") << quint8(0x62) << QList<QColor>{w, y, w, g, g};
}

void TstViewPages::ioLamps()
{
    QFETCH(quint8, bits);
    QFETCH(QList<QColor>, colours);

    MeasurementPage page;
    // Before any answer the outputs stand yellow and the inputs lime.
    QCOMPARE(lampColour(page, "Output2"), QColor(255, 255, 0));
    QCOMPARE(lampColour(page, "Input3"), QColor(0, 255, 0));

    StateRecord rec;
    rec.set<quint8>(13, bits);
    page.showState(rec);
    const QStringList names = {"Output1", "Output2", "Input1", "Input2", "Input3"};
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(lampColour(page, names[i]), colours[i]);
}

void TstViewPages::versionAndDemand()
{
    MeasurementPage page;
    VersionRecord v;
    v.set<quint8>(0, 3);
    v.set<quint8>(1, 2);
    v.set<quint16>(2, 0x0105);
    std::memcpy(v.data() + 4, "2023.11.30\0\0", 12);
    v.set<quint8>(16, 23);
    v.set<quint8>(17, 11);
    v.set<quint32>(18, 0xFFFFFFFFu);
    page.showVersion(v);
    QCOMPARE(fieldText(page, "Programversion"), QStringLiteral("3.2.261"));
    QCOMPARE(fieldText(page, "Programdate"), QStringLiteral("2023.11.30"));
    QCOMPARE(fieldText(page, "Gyartasiszam"), QStringLiteral("4294967295"));
    QCOMPARE(fieldText(page, "Gyartaseve"), QStringLiteral("23"));
    QCOMPARE(fieldText(page, "Gyartashonapja"), QStringLiteral("11"));

    EpRecord ep;
    ep.set<quint32>(8, 11u);
    ep.set<quint32>(12, 12u);
    ep.set<quint32>(16, 4000000000u);
    ep.set<quint32>(20, 14u);
    ep.set<quint16>(24, 59);
    page.showEp(ep);
    QCOMPARE(fieldText(page, "EPprevious"), QStringLiteral("11"));
    QCOMPARE(fieldText(page, "EPestimated"), QStringLiteral("12"));
    QCOMPARE(fieldText(page, "EPenabled"), QStringLiteral("4000000000"));
    QCOMPARE(fieldText(page, "EPcurrent"), QStringLiteral("14"));
    QCOMPARE(fieldText(page, "EPtimeelapsed"), QStringLiteral("5"));
}

void TstViewPages::errorLamps_data()
{
    QTest::addColumn<quint32>("dynamicWord");
    QTest::addColumn<quint32>("staticWord");
    QTest::addColumn<quint32>("mask");
    QTest::addColumn<QStringList>("lit"); // lamps expected red
    QTest::addColumn<bool>("errorLed");

    QTest::newRow("calibration only, mask 0") << 0u << 0x00100000u << 0u << QStringList{"AbLED1"} << true;
    QTest::newRow("L1 dip static, mask 0") << 0u << 0x1u << 0u << QStringList{"StatLeds"} << false;
    QTest::newRow("L1 dip static, in mask") << 0u << 0x1u << 0x1u << QStringList{"StatLeds"} << true;
    QTest::newRow("dynamic only") << 0x00080001u << 0u << 0xFFFFFu << QStringList{"DinLeds", "Led19"}
                                  << false;
    QTest::newRow("both groups") << 0x2u << 0x00408002u << 0u
                                 << QStringList{"Led1", "LED21", "LED35", "AbLED22"} << true;
    // Dynamic bits above 19 have no lamp; they must not light anything.
    QTest::newRow("dynamic bit 20") << 0x00100000u << 0u << 0u << QStringList{} << false;
}

void TstViewPages::errorLamps()
{
    QFETCH(quint32, dynamicWord);
    QFETCH(quint32, staticWord);
    QFETCH(quint32, mask);
    QFETCH(QStringList, lit);
    QFETCH(bool, errorLed);

    ErrorsPage page;
    QCOMPARE(page.objectName(), QStringLiteral("TabSheet_Errors"));
    StateRecord rec;
    rec.set<quint32>(0, staticWord);
    rec.set<quint32>(4, dynamicWord);
    rec.set<quint32>(8, mask);
    page.showState(rec);

    const QColor red(ErrorsPage::kErrorLit);
    for (LampGroup* group : {page.dynamicLamps(), page.staticLamps()}) {
        for (int bit : group->bits()) {
            const Lamp* lamp = group->lamp(bit);
            QCOMPARE(lamp->color() == red, lit.contains(lamp->objectName()));
        }
    }
    QCOMPARE(lampColour(page, "ErrorLed") == red, errorLed);
}

void TstViewPages::lampGroupEditing()
{
    ErrorsPage page;
    // The groups are laid out one 20-pixel row per bit with their documented names and captions.
    QCOMPARE(page.dynamicLamps()->bits().size(), qsizetype(20));
    QCOMPARE(page.staticLamps()->bits().size(), qsizetype(23));
    QCOMPARE(page.findChild<Lamp*>(QStringLiteral("Led15"))->y() -
                 page.findChild<Lamp*>(QStringLiteral("Led14"))->y(),
             20);
    QCOMPARE(page.findChild<QLabel*>(QStringLiteral("Led15Label"))->text(),
             QStringLiteral("Modbus komm. hiba"));
    QCOMPARE(page.findChild<QLabel*>(QStringLiteral("AbLED21Label"))->text(),
             QStringLiteral("Inicializálás hiba"));
    QCOMPARE(page.staticLamps()->captionLabel(17)->text(), QStringLiteral("Lekötött telj. túllépés"));

    LampGroup* group = page.staticLamps();
    QSignalSpy spy(group, &LampGroup::statusChanged);
    group->setStatus(0x80000000u); // a bit without a lamp
    QCOMPARE(spy.count(), 0);

    // Read-only groups ignore clicks.
    QTest::mouseClick(group->lamp(3), Qt::LeftButton);
    QCOMPARE(group->status(), 0x80000000u);
    QCOMPARE(spy.count(), 0);

    group->setEditable(true);
    QTest::mouseClick(group->lamp(3), Qt::LeftButton);
    QCOMPARE(group->status(), 0x80000008u);
    QCOMPARE(group->lamp(3)->color(), QColor(ErrorsPage::kErrorLit));
    QTest::mouseClick(group->captionLabel(22), Qt::LeftButton);
    QCOMPARE(group->status(), 0x80400008u);
    QTest::mouseClick(group->lamp(3), Qt::LeftButton);
    QCOMPARE(group->status(), 0x80400000u);
    QCOMPARE(group->lamp(3)->color(), QColor(ErrorsPage::kErrorUnlit));
    QCOMPARE(spy.count(), 3);
    QCOMPARE(spy.last().at(0).value<quint32>(), 0x80400000u);

    QSignalSpy clear(&page, &ErrorsPage::clearErrorsRequested);
    QTest::mouseClick(page.findChild<QPushButton*>(QStringLiteral("ClearErrorsbutton")), Qt::LeftButton);
    QCOMPARE(clear.count(), 1);
}

void TstViewPages::harmonicsChannel_data()
{
    QTest::addColumn<QString>("radio");
    QTest::addColumn<int>("channel");

    QTest::newRow("L1 U") << "ShowL1UHarm" << 0;
    QTest::newRow("L2 U") << "ShowL2UHarm" << 1;
    QTest::newRow("L3 U") << "ShowL3UHarm" << 2;
    QTest::newRow("L1 I") << "ShowL1IHarm" << 3;
    QTest::newRow("L2 I") << "ShowL2IHarm" << 4;
    QTest::newRow("L3 I") << "ShowL3IHarm" << 5;
}

void TstViewPages::harmonicsChannelSignal()
{
    HarmonicsPage page;
    QSignalSpy spy(&page, &HarmonicsPage::channelChanged);
    auto* l3i = page.findChild<QRadioButton*>(QStringLiteral("ShowL3IHarm"));
    QTest::mouseClick(l3i, Qt::LeftButton, {}, l3i->rect().center());
    // Only the newly chosen channel is announced, not the one that was switched off.
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 5);
}

void TstViewPages::harmonicsChannel()
{
    QFETCH(QString, radio);
    QFETCH(int, channel);

    HarmonicsPage page;
    QCOMPARE(page.GetHarmChannel(), 0); // L1 U is checked at start
    auto* button = page.findChild<QRadioButton*>(radio);
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    QVERIFY(button->isChecked());
    QCOMPARE(page.GetHarmChannel(), channel);
}

void TstViewPages::harmonicsChart()
{
    HarmonicsPage page;
    QCOMPARE(page.objectName(), QStringLiteral("TabSheet_Harmonics"));
    auto* view = page.findChild<QChartView*>(QStringLiteral("Chart1"));
    QVERIFY(view);
    QCOMPARE(view->geometry(), QRect(8, 5, 749, 492));
    QCOMPARE(page.titleText(), QStringLiteral("L1 U"));
    QVERIFY(page.barHeights().isEmpty());

    // The radio order left to right.
    QStringList order;
    const auto radios = page.findChildren<QRadioButton*>();
    QList<QRadioButton*> sorted = radios;
    std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
    for (auto* r : sorted)
        order << r->text();
    QCOMPARE(order, (QStringList{"L1 U", "L1 I", "L2 U", "L2 I", "L3 U", "L3 I"}));

    HarmonicsRecord rec;
    rec.set<quint8>(0, 4);
    rec.set<float>(1, 12.34f);
    rec.set<quint16>(5, 1000);
    rec.set<quint16>(7, 25);
    rec.set<quint16>(43, 7);
    page.showHarmonics(rec);
    // The title follows the answer, not the selection (still L1 U).
    QCOMPARE(page.titleText(), QStringLiteral("L2 I THD: 12.3 %"));
    // The chart shows the blanks of the padded THD instead of folding them.
    rec.set<float>(1, 2.5f);
    page.showHarmonics(rec);
    QCOMPARE(page.titleText(), QStringLiteral("L2 I THD:  2.5 %"));
    QCOMPARE(page.chartView()->chart()->title(), QStringLiteral("L2&nbsp;I&nbsp;THD:&nbsp;&nbsp;2.5&nbsp;%"));
    QList<qreal> heights = page.barHeights();
    QCOMPARE(heights.size(), qsizetype(20));
    QCOMPARE(heights[0], 100.0);
    QCOMPARE(heights[1], 2.5);
    QCOMPARE(heights[2], 0.0);
    QCOMPARE(heights[19], 0.7);

    // A second answer replaces the bars instead of adding to them.
    rec.set<quint8>(0, 9);
    rec.set<float>(1, 100.0f);
    rec.set<quint16>(5, 0);
    page.showHarmonics(rec);
    QCOMPARE(page.titleText(), QStringLiteral("??? THD: 100.0 %"));
    heights = page.barHeights();
    QCOMPARE(heights.size(), qsizetype(20));
    QCOMPARE(heights[0], 0.0);
    QCOMPARE(page.amplitudes()[1], quint16(25));
}

void TstViewPages::pagesFit()
{
    MeasurementPage measurement;
    measurement.setThreePhaseColumnsVisible(true);
    verifyNothingClipped(measurement);
    ErrorsPage errors;
    verifyNothingClipped(errors);
    HarmonicsPage harmonics;
    verifyNothingClipped(harmonics);
    TrendPage trend;
    verifyNothingClipped(trend);
}

void TstViewPages::energyCounters_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("offset");
    QTest::addColumn<qint64>("wh");
    QTest::addColumn<QString>("dotText");
    QTest::addColumn<QString>("commaText");

    QTest::newRow("EP+ L1") << "L1EPplus" << 2 << qint64(1234567) << "    1234.567"
                            << "    1234,567";
    QTest::newRow("EP+ sum") << "L123EPplus" << 26 << qint64(0) << "       0.000"
                             << "       0,000";
    QTest::newRow("EP- L2 negative") << "L2EPminus" << 42 << qint64(-1500) << "      -1.500"
                                     << "      -1,500";
    QTest::newRow("EQ+ L3") << "L3EQplus" << 82 << qint64(999) << "       0.999"
                            << "       0,999";
    QTest::newRow("EQ- sum, wider than 12")
        << "L123EQminus" << 122 << qint64(123456789012345) << "123456789012.345"
        << "123456789012,345";
    QTest::newRow("EQ- L1, 2^53 Wh") << "L1EQminus" << 98 << qint64(9007199254740992) << "9007199254740.992"
                                     << "9007199254740,992";
}

void TstViewPages::energyCounters()
{
    QFETCH(QString, field);
    QFETCH(int, offset);
    QFETCH(qint64, wh);
    QFETCH(QString, dotText);
    QFETCH(QString, commaText);

    // Every other counter holds a marker, so a field reading the wrong element shows it.
    Ram1Image ram1;
    for (std::size_t i = 2; i < 130; i += 8)
        ram1.set<qint64>(i, 777000);
    ram1.set<qint64>(std::size_t(offset), wh);

    MeasurementPage page;
    page.showRam1(ram1);
    QCOMPARE(fieldText(page, field), dotText);
    int markers = 0;
    for (const EnergyField& f : energyFields())
        markers += fieldText(page, QString::fromLatin1(f.name)) == QStringLiteral("     777.000");
    QCOMPARE(markers, 15);

    QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
    page.showRam1(ram1);
    QCOMPARE(fieldText(page, field), commaText);
}

void TstViewPages::arrangementColumns_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("threePhase");
    for (int code = 0; code <= 4; ++code)
        QTest::addRow("code %d", code) << code << true;
    QTest::newRow("single phase") << 5 << false;
    QTest::newRow("unknown code") << 6 << false;
    QTest::newRow("0xFFFF") << 0xFFFF << false;
}

void TstViewPages::arrangementColumns()
{
    QFETCH(int, code);
    QFETCH(bool, threePhase);
    Ram2Image ram2;
    ram2.set<quint16>(176, quint16(code));
    QCOMPARE(threePhaseArrangement(ram2), threePhase);

    MeasurementPage page;
    page.setThreePhaseColumnsVisible(!threePhase);
    page.showArrangement(ram2);
    QCOMPARE(page.threePhaseColumnsVisible(), threePhase);
}

void TstViewPages::testOutputs_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QList<int>>("bytes");
    QTest::newRow("output 1") << QStringList{"Testout1"} << QList<int>{0x01};
    QTest::newRow("output 2 alone") << QStringList{"Testout2"} << QList<int>{0x02};
    QTest::newRow("both") << QStringList{"Testout1", "Testout2"} << QList<int>{0x01, 0x03};
    QTest::newRow("both, then both off")
        << QStringList{"Testout2", "Testout1", "Testout2", "Testout1"} << QList<int>{0x02, 0x03, 0x01, 0x00};
}

void TstViewPages::testOutputs()
{
    QFETCH(QStringList, clicks);
    QFETCH(QList<int>, bytes);
    MeasurementPage page;
    QSignalSpy spy(&page, &MeasurementPage::testOutputsClicked);
    for (const QString& name : clicks) {
        auto* box = page.findChild<QCheckBox*>(name);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
    }
    QCOMPARE(spy.count(), bytes.size());
    for (int i = 0; i < bytes.size(); ++i)
        QCOMPARE(spy.at(i).at(0).toInt(), bytes[i]);
}

QTEST_MAIN(TstViewPages)
#include "tst_view_pages.moc"
