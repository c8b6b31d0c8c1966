// The configuration and factory pages: showing a record and packing it back, the composed fields,
// the visibility rules and the editors' table.
#include "config/ConfigPage.h"
#include "config/FactoryPage.h"
#include "config/RecordEditor.h"
#include "device/FieldTable.h"
#include "platform/Lamp.h"
#include "platform/LampGroup.h"
#include "platform/NumericSpin.h"
#include "records/FieldValue.h"
#include "records/RecordLayout.h"
#include "texts/UiItems.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace kvam;

namespace {

template <std::size_t N> ByteImage<N> golden(const char* name)
{
    QFile f(QStringLiteral(KVAM_TEST_DATA "/records/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing golden image %s", name);
    const QByteArray bytes = f.readAll();
    if (bytes.size() != qsizetype(N))
        qFatal("golden image %s has %lld bytes", name, static_cast<long long>(bytes.size()));
    ByteImage<N> image;
    image.copyFrom(reinterpret_cast<const std::uint8_t*>(bytes.constData()));
    return image;
}

QComboBox* box(QWidget* page, const char* name)
{
    QComboBox* b = findChoice(page, name);
    if (!b)
        qFatal("no box %s", name);
    return b;
}

void choose(QWidget* page, const char* name, int index)
{
    QComboBox* b = box(page, name);
    b->setCurrentIndex(index);
    emit b->activated(index); // as a user's choice
}

bool shown(QWidget* page, const char* name)
{
    QWidget* w = page->findChild<QWidget*>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return !w->isHidden();
}

template <std::size_t N> QString differences(const ByteImage<N>& a, const ByteImage<N>& b)
{
    QStringList out;
    for (std::size_t i = 0; i < N; ++i)
        if (a[i] != b[i])
            out << QStringLiteral("%1: %2 -> %3").arg(i).arg(a[i]).arg(b[i]);
    return out.join(QStringLiteral(", "));
}

} // namespace

class TstConfigPages : public QObject
{
    Q_OBJECT
private slots:
    void tablesNameTheirRecordsFields();
    void everyTableControlIsOnAPage();
    void itemListsAsTheMeterCodesThem();

    void ram2RoundTripKeepsEveryByteAControlCanHold();
    void ram3RoundTripKeepsEveryByteAControlCanHold();
    void composedFields_data();
    void composedFields();
    void scaledFields_data();
    void scaledFields();
    void boxWithoutSelectionPacks_data();
    void boxWithoutSelectionPacks();

    void visibility_data();
    void visibility();
    void sourcesForcedWithoutTheInputModule_data();
    void sourcesForcedWithoutTheInputModule();
    void errorLampsToggleTheirBit();
    void startState();
};

void TstConfigPages::tablesNameTheirRecordsFields()
{
    // Every row names a field of its record, keys fit the field, and no field has two rows.
    for (auto [table, record] :
         {std::pair{ram2ConfigFields(), "RAM2"}, std::pair{ram3ConfigFields(), "RAM3"}}) {
        const RecordLayout* layout = findRecordLayout(record);
        QSet<QString> seen;
        for (const ConfigField& f : table) {
            QVERIFY2(layout->field(f.field), f.field);
            QVERIFY2(!seen.contains(QLatin1String(f.field)), f.field);
            seen.insert(QLatin1String(f.field));
            QVERIFY2(f.keyCount >= 1 && f.keyCount <= layout->field(f.field)->count, f.field);
            QCOMPARE(f.order == KeyOrder::Single, f.keyCount == 1 && layout->field(f.field)->count == 1);
            for (std::size_t k = 0; k < kMaxControls; ++k)
                if (f.controls[k] && f.editor != EditorKind::Composed)
                    QVERIFY2(k < layout->field(f.field)->count, f.field);
        }
        // Every named field of the record is in the table (the unnamed bytes are carried).
        for (const FieldInfo& info : layout->fields) {
            const QString name = QLatin1String(info.name);
            if (name == QLatin1String("RecordHead") || name.startsWith(QLatin1String("Carried")))
                continue;
            QVERIFY2(seen.contains(name), info.name);
        }
    }
}

void TstConfigPages::everyTableControlIsOnAPage()
{
    ConfigPage config;
    FactoryPage factory;
    // The analog output points are edited on the calibration page.
    const QSet<QString> elsewhere{"Ch1Pwm1", "Ch2Pwm1", "Ch1Pwm2", "Ch2Pwm2"};
    for (auto [table, page] :
         {std::pair<std::span<const ConfigField>, QWidget*>{ram2ConfigFields(), &config},
          std::pair<std::span<const ConfigField>, QWidget*>{ram3ConfigFields(), &factory}}) {
        for (const ConfigField& f : table) {
            for (const char* name : f.controls) {
                if (!name || elsewhere.contains(QLatin1String(name)))
                    continue;
                const int found = int(page->findChildren<QWidget*>(QLatin1String(name)).size());
                QVERIFY2(found == 1, name);
                switch (f.editor) {
                case EditorKind::Number:
                    QVERIFY2(findNumber(page, name), name);
                    break;
                case EditorKind::Choice:
                case EditorKind::ChoicePlus1:
                    QVERIFY2(findChoice(page, name), name);
                    break;
                case EditorKind::Mask:
                    QVERIFY2(findMask(page, name), name);
                    break;
                default:
                    break;
                }
            }
        }
    }
}

void TstConfigPages::itemListsAsTheMeterCodesThem()
{
    ConfigPage config;
    struct Row
    {
        const char* box;
        int count;
        const char* first;
        const char* last;
    };
    const Row rows[] = {
        {"Sampletimebox", 10, "80 ms", "800 ms"},
        {"Elrendezesbox", 6, "3fázis 3/4vezeték 3mérő", "1fázis 2vezeték 1mérő"},
        {"D1F1Assignbox", 25, "L1 EP+", ""},
        {"D1F2Assignbox", 8, "L1 P ", "SUM Q "},
        {"D2F2Assignbox", 8, "L1 P ", "SUMQ "},
        {"D1F3Assignbox", 37, "L12 Urms", "L3 I THD"},
        {"D2F3Assignbox", 38, "L12 Urms", ""},
        {"A1Assignedbox", 35, "Teszt érték", "L13 Fi"},
        {"MB1Baudratebox", 12, "300", "115200"},
        {"MB1Stopbitbox", 3, "1 stop bit", "1,5 stop bit"},
        {"Tarifsource", 2, "Külső tarifa bemenet", "Belső 1.tarifa"},
    };
    for (const Row& r : rows) {
        QComboBox* b = box(&config, r.box);
        QCOMPARE(b->count(), r.count);
        QCOMPARE(b->itemText(0), QString::fromUtf8(r.first));
        QCOMPARE(b->itemText(r.count - 1), QString::fromUtf8(r.last));
    }
    // "L1 P" is code 9 of the limit-watch list.
    QCOMPARE(box(&config, "D1F3Assignbox")->itemText(9), QStringLiteral("L1 P"));
}

void TstConfigPages::ram2RoundTripKeepsEveryByteAControlCanHold()
{
    const Ram2Image original = golden<314>("ram2.bin");
    ConfigPage page;
    page.Display_RAM2(original);
    Ram2Image packed = original;
    page.Ram2refresh(packed);

    // What the controls cannot hold comes back as they hold it; every other byte is unchanged.
    Ram2Image expected = original;
    set(expected, ram2::Ratio, 5, 100000.0f);                // beyond the editor's 100000
    set(expected, ram2::LedErrorMask, 0x000FF1FFu);          // bit 31 has no lamp
    set(expected, ram2::DinPolarity, std::uint16_t(0xE3));   // the high byte is written 0
    set(expected, ram2::HarmEnabled, std::uint8_t(0x3F));    // bits 6 and 7 are written 0
    set(expected, ram2::DoutFunction, 0, std::uint8_t(255)); // code 9 is not in the list
    set(expected, ram2::DoutAssign, 0, std::uint8_t(0));     // ... so the output has no assign code
    set(expected, ram2::MB01Addr, std::uint8_t(240));        // beyond the editor's 240
    QVERIFY2(packed == expected, qPrintable(differences(expected, packed)));

    // Showing the packed image again and packing it changes nothing more.
    page.Display_RAM2(packed);
    Ram2Image again = packed;
    page.Ram2refresh(again);
    QVERIFY2(again == packed, qPrintable(differences(packed, again)));
}

void TstConfigPages::ram3RoundTripKeepsEveryByteAControlCanHold()
{
    const Ram3Image original = golden<154>("ram3.bin");
    FactoryPage page;
    QSignalSpy modul1(&page, &FactoryPage::modul1Selected);
    QSignalSpy modul2(&page, &FactoryPage::modul2Selected);
    page.Display_RAM3(original);
    QCOMPARE(modul1.value(0).value(0).toInt(), 1); // 0x21: "2 kimenet"
    QCOMPARE(modul2.value(0).value(0).toInt(), 2); // "RS485 Modbus"
    QCOMPARE(page.factoryNumberText(), QStringLiteral("123456789"));

    Ram3Image packed = original;
    page.Ram3refresh(packed);
    Ram3Image expected = original;
    set(expected, ram3::GyartasiHo, std::uint8_t(1));  // month 0 shows as the editor's 1
    set(expected, ram3::Offset, 5, std::int16_t(200)); // beyond the editor's 200
    QVERIFY2(packed == expected, qPrintable(differences(expected, packed)));
}

void TstConfigPages::composedFields_data()
{
    QTest::addColumn<QStringList>("choices"); // "box=index" in order
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("index");
    QTest::addColumn<qint64>("packed");

    QTest::newRow("DinPolarity all on") << QStringList{"EPlimiting=1", "Synchronsource=1", "Tarifsource=1",
                                                       "Synchronpolarity=1", "Tarifpolarity=1"}
                                        << "DinPolarity" << 0 << qint64(0xE3);
    QTest::newRow("DinPolarity limiting only")
        << QStringList{"EPlimiting=1", "Synchronsource=0", "Tarifsource=0", "Synchronpolarity=0",
                       "Tarifpolarity=0"}
        << "DinPolarity" << 0 << qint64(0x20);
    QTest::newRow("DinPolarity sync polarity")
        << QStringList{"EPlimiting=0", "Synchronsource=0", "Tarifsource=0", "Synchronpolarity=1",
                       "Tarifpolarity=0"}
        << "DinPolarity" << 0 << qint64(0x01);
    QTest::newRow("function 3 with L1 P")
        << QStringList{"D1functionbox=3", "D1F3Assignbox=9", "D1F1Assignbox=2"} << "DoutAssign" << 0
        << qint64(9);
    QTest::newRow("function 1 takes F1")
        << QStringList{"D1functionbox=1", "D1F3Assignbox=9", "D1F1Assignbox=2"} << "DoutAssign" << 0
        << qint64(2);
    QTest::newRow("function 2 takes F2")
        << QStringList{"D2functionbox=2", "D2F2Assignbox=7", "D2F3Assignbox=1"} << "DoutAssign" << 1
        << qint64(7);
    QTest::newRow("function 0 packs 0")
        << QStringList{"D1functionbox=0", "D1F3Assignbox=9"} << "DoutAssign" << 0 << qint64(0);
    QTest::newRow("function 4 packs 0")
        << QStringList{"D1functionbox=4", "D1F1Assignbox=5"} << "DoutAssign" << 0 << qint64(0);
    QTest::newRow("function 3 without selection")
        << QStringList{"D1functionbox=3", "D1F3Assignbox=-1"} << "DoutAssign" << 0 << qint64(255);
    QTest::newRow("harmonics L1 U and L3 I")
        << QStringList{"HarmL1U=1", "HarmL3I=1"} << "HarmEnabled" << 0 << qint64(0x21);
    QTest::newRow("harmonics L2 U and L1 I")
        << QStringList{"HarmL2U=1", "HarmL1I=1"} << "HarmEnabled" << 0 << qint64(0x0A);
}

void TstConfigPages::composedFields()
{
    QFETCH(QStringList, choices);
    QFETCH(QString, field);
    QFETCH(int, index);
    QFETCH(qint64, packed);
    ConfigPage page;
    for (const QString& c : choices) {
        const QString name = c.section(QLatin1Char('='), 0, 0);
        const int value = c.section(QLatin1Char('='), 1).toInt();
        if (auto* check = page.findChild<QCheckBox*>(name))
            check->setChecked(value != 0);
        else
            box(&page, qPrintable(name))->setCurrentIndex(value);
    }
    Ram2Image image;
    page.Ram2refresh(image);
    const FieldInfo& info = findConfigField(ram2ConfigFields(), qPrintable(field))->info();
    QCOMPARE(readInteger(std::span<const std::uint8_t>(image.data(), image.size()), info, std::size_t(index)),
             packed);
}

void TstConfigPages::scaledFields_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<double>("shown");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("index");
    QTest::addColumn<qint64>("stored");

    QTest::newRow("MaxEP0 1.5") << "MaxEP0" << 1.5 << "MaxEP" << 0 << qint64(1500);
    QTest::newRow("MaxEP3 largest") << "MaxEP3" << 4294967.295 << "MaxEP" << 3 << qint64(4294967295);
    QTest::newRow("mA in µA") << "A1minmA" << 4.001 << "PWMFrommA" << 0 << qint64(4001);
    QTest::newRow("mA half to even") << "A2MaxmA" << 20.0005 << "PWMTomA" << 1 << qint64(20000);
    QTest::newRow("timeout in hundredths") << "MB1Timeout" << 2.5 << "MB01Timeout" << 0 << qint64(250);
    QTest::newRow("delay in ms") << "MB1Delay" << 0.255 << "MB01Delay" << 0 << qint64(255);
    QTest::newRow("delay stops at the byte") << "MB1Delay" << 1.0 << "MB01Delay" << 0 << qint64(255);
    QTest::newRow("MaxEP stops at 32 bits") << "MaxEP1" << 1000000000.0 << "MaxEP" << 1 << qint64(4294967295);
    QTest::newRow("address in a byte") << "MB1Address" << 240.0 << "MB01Addr" << 0 << qint64(240);
}

void TstConfigPages::scaledFields()
{
    QFETCH(QString, control);
    QFETCH(double, shown);
    QFETCH(QString, field);
    QFETCH(int, index);
    QFETCH(qint64, stored);
    ConfigPage page;
    findNumber(&page, qPrintable(control))->setValue(shown);
    Ram2Image image;
    page.Ram2refresh(image);
    const FieldInfo& info = findConfigField(ram2ConfigFields(), qPrintable(field))->info();
    const std::span<const std::uint8_t> bytes(image.data(), image.size());
    QCOMPARE(readInteger(bytes, info, std::size_t(index)), stored);

    // Shown again from the image, the edit reads the stored value back.
    page.Display_RAM2(image);
    QCOMPARE(findNumber(&page, qPrintable(control))->value(), double(stored) / info.scale);
}

void TstConfigPages::boxWithoutSelectionPacks_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("field");
    QTest::addColumn<qint64>("stored");
    QTest::newRow("byte field") << "MB1Baudratebox"
                                << "MB01Baud" << qint64(255);
    QTest::newRow("16-bit field") << "A1Assignedbox"
                                  << "AnAssigned" << qint64(65535);
    QTest::newRow("integration length") << "Sampletimebox"
                                        << "IntegrationLength" << qint64(0);
    QTest::newRow("analog mode") << "A1Modebox"
                                 << "PWMMode" << qint64(0);
}

void TstConfigPages::boxWithoutSelectionPacks()
{
    QFETCH(QString, control);
    QFETCH(QString, field);
    QFETCH(qint64, stored);
    ConfigPage page;
    box(&page, qPrintable(control))->setCurrentIndex(-1);
    Ram2Image image;
    image.fill(0x5A);
    page.Ram2refresh(image);
    const FieldInfo& info = findConfigField(ram2ConfigFields(), qPrintable(field))->info();
    QCOMPARE(readInteger(std::span<const std::uint8_t>(image.data(), image.size()), info, 0), stored);
}

void TstConfigPages::visibility_data()
{
    // Module indexes, then "box=index" choices, then the controls shown and hidden.
    QTest::addColumn<int>("modul1");
    QTest::addColumn<int>("modul2");
    QTest::addColumn<QStringList>("choices");
    QTest::addColumn<QStringList>("shownControls");
    QTest::addColumn<QStringList>("hiddenControls");

    QTest::newRow("no modules") << 0 << 0 << QStringList{} << QStringList{}
                                << QStringList{"D1panel", "D2panel",     "A1panel",
                                               "A2panel", "Modbuspanel", "Antestbox"};
    QTest::newRow("2 outputs") << 1 << 0 << QStringList{} << QStringList{"D1panel", "D2panel"}
                               << QStringList{"A1panel", "Modbuspanel"};
    QTest::newRow("Modulconfig 0x21")
        << 1 << 2 << QStringList{} << QStringList{"D1panel", "D2panel", "Modbuspanel"}
        << QStringList{"A1panel", "A2panel", "Antestbox"};
    QTest::newRow("analog with test value")
        << 0 << 1 << QStringList{"A1Assignedbox=0", "A2Assignedbox=3"}
        << QStringList{"A1panel", "A2panel", "Antestbox"} << QStringList{"Modbuspanel"};
    QTest::newRow("analog, second on test") << 0 << 1 << QStringList{"A1Assignedbox=5", "A2Assignedbox=0"}
                                            << QStringList{"Antestbox"} << QStringList{};
    QTest::newRow("analog without test value") << 0 << 1 << QStringList{"A1Assignedbox=5", "A2Assignedbox=3"}
                                               << QStringList{"A1panel"} << QStringList{"Antestbox"};
    QTest::newRow("test value, no analog module")
        << 0 << 2 << QStringList{"A1Assignedbox=0"} << QStringList{} << QStringList{"Antestbox"};
    for (int f = 0; f <= 6; ++f) {
        QStringList on, off;
        const QStringList panels{"D1F1panel", "D1F2panel", "D1F3panel", "D1F4panel"};
        for (int p = 1; p <= 4; ++p)
            (f == p ? on : off) << panels[p - 1];
        (f != 0 ? on : off) << "D1polaritybox"
                            << "D1polaritylabel";
        QTest::addRow("output 1 function %d", f)
            << 1 << 0 << QStringList{QStringLiteral("D1functionbox=%1").arg(f)} << on << off;
    }
    QTest::newRow("output 2 function 4") << 1 << 0 << QStringList{"D2functionbox=4"}
                                         << QStringList{"D2F4Panel", "D2polaritybox", "D2Polaritylabel"}
                                         << QStringList{"D2F1panel", "D2F2panel", "D2F3panel"};
    QTest::newRow("output 2 function 0") << 1 << 0 << QStringList{"D2functionbox=0"} << QStringList{}
                                         << QStringList{"D2F4Panel", "D2polaritybox", "D2Polaritylabel"};
    QTest::newRow("no limiting") << 2 << 0 << QStringList{"EPlimiting=0"} << QStringList{}
                                 << QStringList{
                                        "Synchronsource",   "Tarifsource",   "EPSampletime", "MaxEP0",
                                        "Synchronpolarity", "Tarifpolarity", "MaxEP1",       "MaxEP3"};
    QTest::newRow("limiting, both external")
        << 2 << 0 << QStringList{"EPlimiting=1", "Synchronsource=0", "Tarifsource=0"}
        << QStringList{"Synchronsource", "Tarifsource", "EPSampletime", "MaxEP0", "Synchronpolarity",
                       "Tarifpolarity",  "MaxEP1",      "MaxEP2",       "MaxEP3"}
        << QStringList{};
    QTest::newRow("limiting, internal sync")
        << 2 << 0 << QStringList{"EPlimiting=1", "Synchronsource=1", "Tarifsource=0"}
        << QStringList{"Tarifpolarity", "MaxEP3"} << QStringList{"Synchronpolarity"};
    QTest::newRow("limiting, internal tariff")
        << 2 << 0 << QStringList{"EPlimiting=1", "Synchronsource=0", "Tarifsource=1"}
        << QStringList{"Synchronpolarity", "MaxEP0"}
        << QStringList{"Tarifpolarity", "MaxEP1", "MaxEP2", "MaxEP3"};
}

void TstConfigPages::visibility()
{
    QFETCH(int, modul1);
    QFETCH(int, modul2);
    QFETCH(QStringList, choices);
    QFETCH(QStringList, shownControls);
    QFETCH(QStringList, hiddenControls);
    ConfigPage page;
    page.Modul1boxSelect(modul1);
    page.Modul2boxSelect(modul2);
    for (const QString& c : choices)
        choose(&page, qPrintable(c.section(QLatin1Char('='), 0, 0)), c.section(QLatin1Char('='), 1).toInt());
    for (const QString& name : shownControls)
        QVERIFY2(shown(&page, qPrintable(name)), qPrintable(name + " hidden"));
    for (const QString& name : hiddenControls)
        QVERIFY2(!shown(&page, qPrintable(name)), qPrintable(name + " shown"));
}

void TstConfigPages::sourcesForcedWithoutTheInputModule_data()
{
    QTest::addColumn<int>("modul1");
    QTest::addColumn<int>("source"); // both sources after the module is known
    QTest::newRow("unknown module") << -1 << 0;
    QTest::newRow("no module") << 0 << 1;
    QTest::newRow("2 outputs") << 1 << 1;
    QTest::newRow("2 outputs 3 inputs") << 2 << 0;
}

void TstConfigPages::sourcesForcedWithoutTheInputModule()
{
    QFETCH(int, modul1);
    QFETCH(int, source);
    ConfigPage page;
    // The configuration arrives first with both sources external.
    Ram2Image ram2;
    set(ram2, ram2::DinPolarity, std::uint16_t(0x20));
    page.Display_RAM2(ram2);
    QCOMPARE(box(&page, "Synchronsource")->currentIndex(), 0);
    if (modul1 >= 0)
        page.Modul1boxSelect(modul1);
    QCOMPARE(box(&page, "Synchronsource")->currentIndex(), source);
    QCOMPARE(box(&page, "Tarifsource")->currentIndex(), source);
}

void TstConfigPages::errorLampsToggleTheirBit()
{
    ConfigPage page;
    Ram2Image ram2;
    set(ram2, ram2::LedErrorMask, 0x00000001u);
    page.Display_RAM2(ram2);
    LampGroup* mask = findMask(&page, "LedMask0");
    QCOMPARE(mask->lamp(0)->color(), QColor(0, 0, 128));
    QCOMPARE(mask->lamp(1)->color(), QColor(Qt::white));
    // The lamp of bit 15 is AbLED17 and that of bit 16 AbLED16.
    QCOMPARE(mask->lamp(15)->objectName(), QStringLiteral("AbLED17"));
    QCOMPARE(mask->lamp(16)->objectName(), QStringLiteral("AbLED16"));
    QTest::mouseClick(mask->lamp(15), Qt::LeftButton);
    QTest::mouseClick(mask->lamp(0), Qt::LeftButton);
    page.Ram2refresh(ram2);
    QCOMPARE(get(ram2, ram2::LedErrorMask), 0x00008000u);
    // The three groups are independent.
    QCOMPARE(get(ram2, ram2::DoutErrormask1, 0), 0u);
    QTest::mouseClick(findMask(&page, "D2H0")->lamp(19), Qt::LeftButton);
    page.Ram2refresh(ram2);
    QCOMPARE(get(ram2, ram2::DoutErrormask1, 1), 0x00080000u);
    QCOMPARE(get(ram2, ram2::DoutErrormask1, 0), 0u);
    QCOMPARE(get(ram2, ram2::LedErrorMask), 0x00008000u);
}

void TstConfigPages::startState()
{
    ConfigPage page;
    // Defaults of the editors and the boxes that start without a selection.
    QCOMPARE(findNumber(&page, "L1uat")->value(), 1.0);
    QCOMPARE(findNumber(&page, "D1Highlimit")->value(), 100.0);
    QCOMPARE(findNumber(&page, "A1ErrormA")->value(), 20.1);
    QCOMPARE(findNumber(&page, "EPSampletime")->value(), 1.0);
    QCOMPARE(box(&page, "MB1Baudratebox")->currentIndex(), -1);
    QCOMPARE(box(&page, "D1F3Assignbox")->currentIndex(), -1);
    QCOMPARE(box(&page, "Elrendezesbox")->currentIndex(), 0);
    for (const char* name : {"D1panel", "D2panel", "A1panel", "A2panel", "Modbuspanel", "Antestbox"})
        QVERIFY2(!shown(&page, name), name);
    // Editing changes no image until the next packing: Display then edit then display restores.
    Ram2Image ram2 = golden<314>("ram2.bin");
    page.Display_RAM2(ram2);
    findNumber(&page, "L1uat")->setValue(7.0);
    page.Display_RAM2(ram2);
    QCOMPARE(findNumber(&page, "L1uat")->value(), 1.0);
}

QTEST_MAIN(TstConfigPages)
#include "tst_config_pages.moc"
