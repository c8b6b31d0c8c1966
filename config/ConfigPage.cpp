#include "config/ConfigPage.h"

#include "config/ConfigFiles.h"
#include "config/RecordEditor.h"
#include "config/UserPasswordStore.h"
#include "device/DeviceModel.h"
#include "device/FieldTable.h"
#include "device/MeterRules.h"
#include "platform/LampGroup.h"
#include "platform/NumericSpin.h"
#include "platform/PageParts.h"
#include "platform/UserPrompts.h"
#include "protocol/ServiceCodes.h"
#include "records/FieldValue.h"
#include "texts/UiItems.h"
#include "texts/UiTexts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>

namespace kvam {

namespace {

constexpr int kRow = 26; // pitch of the editor rows

// DinPolarity: a set bit chooses the second item of its box.
struct PolarityBit
{
    const char* box;
    quint16 bit;
};
constexpr PolarityBit kDinPolarityBits[] = {
    {"Synchronpolarity", 0x01}, {"Tarifpolarity", 0x02},  {"EPlimiting", 0x20},
    {"Tarifsource", 0x40},      {"Synchronsource", 0x80},
};

// HarmEnabled: bit 0 L1 U, bit 1 L2 U, bit 2 L3 U, bit 3 L1 I, bit 4 L2 I, bit 5 L3 I.
constexpr const char* kHarmBoxes[] = {"HarmL1U", "HarmL2U", "HarmL3U", "HarmL1I", "HarmL2I", "HarmL3I"};

const ConfigField& ram2Field(const char* name)
{
    return *findConfigField(ram2ConfigFields(), name);
}

// The label of a control's caption in the field table, in a row of the editor.
QLabel* caption(QWidget* parent, const char* control, int x, int y, int width)
{
    return makeFieldCaption(parent, control, QRect(x, y, width, 22));
}

QWidget* panel(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* p = new QWidget(parent);
    p->setObjectName(QLatin1String(name));
    p->setGeometry(geometry);
    return p;
}

} // namespace

ConfigPage::ConfigPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet_Config"));

    QGroupBox* config = makeGroup(this, "GroupBox13", QRect(4, 2, 757, 506));
    m_inner = new QTabWidget(config);
    m_inner->setObjectName(QStringLiteral("PageControl1"));
    m_inner->setGeometry(8, 20, 741, 440);
    for (const FieldPage tab : configTabs()) {
        QWidget* page = buildTab(tab);
        const char* name = fieldPageKeys(tab).tab;
        page->setObjectName(QLatin1String(name));
        m_inner->addTab(page, uiText(name));
    }

    const int y = 468;
    connect(makeButton(config, "Button2", QRect(8, y, 140, 27)), &QPushButton::clicked, this,
            &ConfigPage::readRamClicked);
    connect(makeButton(config, "Button1", QRect(152, y, 130, 27)), &QPushButton::clicked, this,
            &ConfigPage::writeRamClicked);
    connect(makeButton(config, "ButtonSaveRecord", QRect(298, y, 110, 27)), &QPushButton::clicked, this,
            &ConfigPage::saveRecordClicked);
    connect(makeButton(config, "ButtonReadRecord", QRect(412, y, 120, 27)), &QPushButton::clicked, this,
            &ConfigPage::readRecordClicked);
    connect(makeButton(config, "UserDefaultButton", QRect(548, y, 160, 27)), &QPushButton::clicked, this,
            &ConfigPage::userDefaultClicked);

    QGroupBox* password = makeGroup(this, "GroupBox14", QRect(4, 514, 200, 52));
    m_newPassword = new NumericSpin(-100000, 100000, 1, QStringLiteral("#0"), 0, password);
    m_newPassword->setObjectName(QStringLiteral("NewPassword"));
    m_newPassword->setGeometry(10, 20, 110, 24);
    m_controls.insert(m_newPassword->objectName(), m_newPassword);
    connect(m_newPassword, &QAbstractSpinBox::editingFinished, this, [this] {
        const int value = qRound(m_newPassword->value());
        if (value != m_committedPassword) {
            m_committedPassword = value;
            emit newPasswordChanged(value);
        }
    });
    connect(makeButton(this, "RestoreButton", QRect(326, 530, 130, 27)), &QPushButton::clicked, this,
            &ConfigPage::restoreClicked);
    connect(makeButton(this, "ClearEnergybutton", QRect(470, 530, 140, 27)), &QPushButton::clicked, this,
            &ConfigPage::clearEnergyClicked);
    connect(makeButton(this, "ButtonKilepes", QRect(640, 530, 110, 27)), &QPushButton::clicked, this,
            &ConfigPage::kilepesClicked);

    // The select handlers.
    for (const char* name :
         {"D1polaritybox", "D1limittypebox", "D1F1Assignbox",  "D1F2Assignbox", "D1F3Assignbox",
          "D2polaritybox", "D2Limittypebox", "D2F1Assignbox",  "D2F2Assignbox", "D2F3Assignbox",
          "A1Assignedbox", "A1Typebox",      "A1Modebox",      "A2Assignedbox", "A2Typebox",
          "A2Modebox",     "MB1Typebox",     "MB1Baudratebox", "MB1Paritybox",  "MB1Stopbitbox",
          "D1functionbox"})
        connect(findChoice(this, name), &QComboBox::activated, this, &ConfigPage::D1functionboxSelect);
    connect(findChoice(this, "D2functionbox"), &QComboBox::activated, this, &ConfigPage::D2functionboxSelect);
    connect(findChoice(this, "Elrendezesbox"), &QComboBox::activated, this, &ConfigPage::ElrendezesboxSelect);
    for (const char* name : {"EPlimiting", "Synchronsource", "Tarifsource"})
        connect(findChoice(this, name), &QComboBox::activated, this, &ConfigPage::EPlimitingSelect);

    // At start the output panels wait for the modules; the rest follows the start selections.
    for (const char* name : {"D1panel", "D2panel", "A1panel", "A2panel", "Modbuspanel", "Antestbox"})
        w(name)->hide();
    D1functionboxSelect();
    D2functionboxSelect();
    EPlimitingSelect();
}

// ---------------------------------------------------------------------------------------------
// Building

QLabel* ConfigPage::label(QWidget* parent, const char* name, int x, int y, int width)
{
    auto* l = new QLabel(uiText(name), parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(x, y, width, 22);
    return l;
}

NumericSpin* ConfigPage::number(QWidget* parent, const char* name, int x, int y, int width)
{
    NumericSpin* spin = makeFieldNumber(parent, name, QRect(x, y, width, 22));
    m_controls.insert(spin->objectName(), spin);
    return spin;
}

QComboBox* ConfigPage::choice(QWidget* parent, const char* name, int x, int y, int width)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->addItems(uiItems(name));
    // A box starts without a selection unless its builder chooses the first item.
    box->setCurrentIndex(-1);
    box->setGeometry(x, y, width, 22);
    m_controls.insert(box->objectName(), box);
    return box;
}

LampGroup* ConfigPage::errorLamps(QWidget* parent, const char* first, const QStringList& others, int x, int y)
{
    const QStringList captions = errorBitCaptions();
    QList<LampGroup::Entry> entries;
    for (int bit = 0; bit < captions.size(); ++bit)
        entries.append({bit, captions[bit], bit == 0 ? QLatin1String(first) : others[bit - 1]});
    LampGroup::Style style;
    style.lampSize = QSize(11, 11);
    style.lit = QColor(0, 0, 128); // navy
    style.unlit = Qt::white;
    style.rowHeight = 15;
    style.captionWidth = 170;
    auto* lamps = new LampGroup(QLatin1String(first), entries, style, parent);
    lamps->move(x, y);
    lamps->setEditable(true);
    m_controls.insert(QLatin1String(first), lamps);
    return lamps;
}

QWidget* ConfigPage::w(const char* name) const
{
    QWidget* found = findChild<QWidget*>(QLatin1String(name));
    Q_ASSERT_X(found, "ConfigPage", name);
    return found;
}

QWidget* ConfigPage::buildTab(FieldPage tab)
{
    switch (tab) {
    case FieldPage::Measuring:
        return buildMeasuring();
    case FieldPage::Modul1:
        return buildModul1();
    case FieldPage::Modul2:
        return buildModul2();
    case FieldPage::LedMask:
        return buildLedMask();
    case FieldPage::Demand:
        return buildDemand();
    case FieldPage::Harmonics:
        return buildHarmonics();
    case FieldPage::None:
    case FieldPage::Calibration:
    case FieldPage::Factory:
        break;
    }
    Q_ASSERT_X(false, "ConfigPage", "a tab of another page");
    return new QWidget;
}

QWidget* ConfigPage::buildMeasuring()
{
    auto* page = new QWidget;
    QGroupBox* g = makeGroup(page, "GroupBox1", QRect(8, 8, 716, 380));
    const FieldKeys& ratios = findConfigField(ram2ConfigFields(), "Ratio")->controls;
    for (int i = 0; i < 6; ++i) {
        caption(g, ratios[i], 16, 28 + i * kRow, 130);
        number(g, ratios[i], 150, 28 + i * kRow);
    }
    const FieldKeys& phases = findConfigField(ram2ConfigFields(), "Fazistolas")->controls;
    for (int i = 0; i < 3; ++i) {
        caption(g, phases[i], 330, 28 + 2 * i * kRow + kRow, 130);
        number(g, phases[i], 470, 28 + 2 * i * kRow + kRow);
    }
    caption(g, "Sampletimebox", 16, 210, 150);
    choice(g, "Sampletimebox", 150, 210, 110)->setCurrentIndex(0);
    caption(g, "Elrendezesbox", 16, 210 + kRow, 150);
    choice(g, "Elrendezesbox", 150, 210 + kRow, 220)->setCurrentIndex(0);
    caption(g, "Zajzar", 16, 210 + 2 * kRow, 150);
    number(g, "Zajzar", 150, 210 + 2 * kRow);
    return page;
}

void ConfigPage::buildDigitalOutput(QWidget* page, int output, const QRect& geometry)
{
    const bool d1 = output == 1;
    QGroupBox* g = makeGroup(page, d1 ? "D1panel" : "D2panel", geometry);
    auto name = [&](const char* d1Name, const char* d2Name) { return d1 ? d1Name : d2Name; };

    caption(g, name("D1functionbox", "D2functionbox"), 8, 20, 90);
    choice(g, name("D1functionbox", "D2functionbox"), 100, 20, 200)->setCurrentIndex(0);
    caption(g, name("D1polaritybox", "D2polaritybox"), 8, 20 + kRow, 90);
    choice(g, name("D1polaritybox", "D2polaritybox"), 100, 20 + kRow, 80)->setCurrentIndex(0);

    const QRect area(4, 76, geometry.width() - 8, geometry.height() - 80);
    QWidget* f1 = panel(g, name("D1F1panel", "D2F1panel"), area);
    label(f1, name("Label6", "Label78"), 4, 0, 150);
    choice(f1, name("D1F1Assignbox", "D2F1Assignbox"), 180, 0, 120);
    caption(f1, name("D1ImpEgyenertek", "D2ImpEgyenertek"), 4, kRow, 170);
    number(f1, name("D1ImpEgyenertek", "D2ImpEgyenertek"), 180, kRow);
    caption(f1, name("D1Impszelesseg", "D2Impszelesseg"), 4, 2 * kRow, 170);
    number(f1, name("D1Impszelesseg", "D2Impszelesseg"), 180, 2 * kRow);
    caption(f1, name("D1Impszunet", "D2Impszunet"), 4, 3 * kRow, 170);
    number(f1, name("D1Impszunet", "D2Impszunet"), 180, 3 * kRow);

    QWidget* f2 = panel(g, name("D1F2panel", "D2F2panel"), area);
    label(f2, name("Label5", "Label74"), 4, 0, 150);
    choice(f2, name("D1F2Assignbox", "D2F2Assignbox"), 180, 0, 120);

    QWidget* f3 = panel(g, name("D1F3panel", "D2F3panel"), area);
    label(f3, name("Label7", "Label69"), 4, 0, 150);
    choice(f3, name("D1F3Assignbox", "D2F3Assignbox"), 150, 0, 150);
    caption(f3, name("D1limittypebox", "D2Limittypebox"), 4, kRow, 140);
    choice(f3, name("D1limittypebox", "D2Limittypebox"), 150, kRow, 190)->setCurrentIndex(0);
    caption(f3, name("D1Highlimit", "D2Highlimit"), 4, 2 * kRow, 140);
    number(f3, name("D1Highlimit", "D2Highlimit"), 150, 2 * kRow, 130);
    caption(f3, name("D1Lowlimit", "D2Lowlimit"), 4, 3 * kRow, 140);
    number(f3, name("D1Lowlimit", "D2Lowlimit"), 150, 3 * kRow, 130);
    caption(f3, name("D1hist", "D2hist"), 4, 4 * kRow, 140);
    number(f3, name("D1hist", "D2hist"), 150, 4 * kRow, 130);

    QGroupBox* f4 = makeGroup(g, name("D1F4panel", "D2F4Panel"), area);
    QStringList others;
    for (int i = 0; i < 19; ++i)
        others << QStringLiteral("LED%1").arg((d1 ? 40 : 59) + i);
    errorLamps(f4, name("D1H0", "D2H0"), others, 8, 18);
}

QWidget* ConfigPage::buildModul1()
{
    auto* page = new QWidget;
    buildDigitalOutput(page, 1, QRect(4, 4, 362, 404));
    buildDigitalOutput(page, 2, QRect(370, 4, 362, 404));
    return page;
}

void ConfigPage::buildAnalogOutput(QWidget* page, int output, const QRect& geometry)
{
    const bool a1 = output == 1;
    QGroupBox* g = makeGroup(page, a1 ? "A1panel" : "A2panel", geometry);
    auto name = [&](const char* a1Name, const char* a2Name) { return a1 ? a1Name : a2Name; };
    // Each row: the caption at the left, the control beside it.
    int y = 20 - kRow;
    auto row = [&](const char* control) { caption(g, control, 8, y += kRow, 130); };
    row(name("A1Assignedbox", "A2Assignedbox"));
    choice(g, name("A1Assignedbox", "A2Assignedbox"), 140, y, 150);
    row(name("A1Typebox", "A2Typebox"));
    choice(g, name("A1Typebox", "A2Typebox"), 140, y, 100)->setCurrentIndex(0);
    row(name("A1Modebox", "A2Modebox"));
    choice(g, name("A1Modebox", "A2Modebox"), 140, y, 150)->setCurrentIndex(0);
    for (const char* control :
         {name("A1Valuefrom", "A2Valuefrom"), name("A1Valueto", "A2Valueto"), name("A1minmA", "A2MinmA"),
          name("A1maxmA", "A2MaxmA"), name("A1ErrormA", "A2ErrormA")}) {
        row(control);
        number(g, control, 140, y);
    }
}

QWidget* ConfigPage::buildModul2()
{
    auto* page = new QWidget;
    buildAnalogOutput(page, 1, QRect(4, 4, 362, 240));
    buildAnalogOutput(page, 2, QRect(370, 4, 362, 240));

    // The Modbus module takes the place of the analog one.
    QGroupBox* mb = makeGroup(page, "Modbuspanel", QRect(4, 4, 362, 240));
    int y = 20 - kRow;
    auto row = [&](const char* control) { caption(mb, control, 8, y += kRow, 130); };
    row("MB1Typebox");
    choice(mb, "MB1Typebox", 140, y, 100)->setCurrentIndex(0);
    row("MB1Address");
    number(mb, "MB1Address", 140, y);
    row("MB1Baudratebox");
    choice(mb, "MB1Baudratebox", 140, y, 100);
    row("MB1Paritybox");
    choice(mb, "MB1Paritybox", 140, y, 150)->setCurrentIndex(0);
    row("MB1Stopbitbox");
    choice(mb, "MB1Stopbitbox", 140, y, 110)->setCurrentIndex(0);
    row("MB1Timeout");
    number(mb, "MB1Timeout", 140, y);
    row("MB1Delay");
    number(mb, "MB1Delay", 140, y);

    QGroupBox* test = makeGroup(page, "Antestbox", QRect(4, 250, 362, 80));
    label(test, "Antestlabel", 8, 20, 190);
    m_antestValue = new NumericSpin(-1000000, 1000000, 1, QStringLiteral("#0.000#"), 50.0, test);
    m_antestValue->setObjectName(QStringLiteral("Antestvalue"));
    m_antestValue->setGeometry(200, 20, 110, 22);
    connect(makeButton(test, "Antestbutton", QRect(200, 48, 110, 25)), &QPushButton::clicked, this,
            &ConfigPage::antestClicked);
    return page;
}

QWidget* ConfigPage::buildLedMask()
{
    auto* page = new QWidget;
    QGroupBox* g = makeGroup(page, "GroupBox11", QRect(8, 8, 240, 330));
    QStringList others;
    for (int bit = 1; bit < 20; ++bit)
        others << QStringLiteral("AbLED%1").arg(bit + 1);
    // The lamps of bits 15 and 16 are named the other way round.
    others.swapItemsAt(14, 15);
    errorLamps(g, "LedMask0", others, 10, 20);
    return page;
}

QWidget* ConfigPage::buildDemand()
{
    auto* page = new QWidget;
    QGroupBox* g = makeGroup(page, "GroupBox4", QRect(8, 8, 420, 300));
    int y = 22;
    choice(g, "EPlimiting", 160, y, 180)->setCurrentIndex(0);
    label(g, "Label68", 12, y += kRow, 140);
    choice(g, "Synchronsource", 160, y, 180)->setCurrentIndex(0);
    label(g, "Synchronpolaritylabel", 12, y += kRow, 140);
    choice(g, "Synchronpolarity", 160, y, 80)->setCurrentIndex(0);
    label(g, "Label81", 12, y += kRow, 140);
    choice(g, "Tarifsource", 160, y, 180)->setCurrentIndex(0);
    label(g, "Tarifpolaritylabel", 12, y += kRow, 140);
    choice(g, "Tarifpolarity", 160, y, 80)->setCurrentIndex(0);
    caption(g, "EPSampletime", 12, y += kRow, 140);
    number(g, "EPSampletime", 160, y);
    for (const char* tariff : findConfigField(ram2ConfigFields(), "MaxEP")->controls) {
        if (!tariff)
            break;
        caption(g, tariff, 12, y += kRow, 140);
        number(g, tariff, 160, y, 130);
    }
    return page;
}

QWidget* ConfigPage::buildHarmonics()
{
    auto* page = new QWidget;
    QGroupBox* g = makeGroup(page, "GroupBox3", QRect(8, 8, 240, 120));
    const char* boxes[] = {"HarmL1U", "HarmL1I", "HarmL2U", "HarmL2I", "HarmL3U", "HarmL3I"};
    for (int i = 0; i < 6; ++i) {
        auto* box = new QCheckBox(uiText(boxes[i]), g);
        box->setObjectName(QLatin1String(boxes[i]));
        box->setGeometry(16 + (i % 2) * 100, 24 + (i / 2) * kRow, 90, 22);
        m_controls.insert(box->objectName(), box);
    }
    return page;
}

// ---------------------------------------------------------------------------------------------
// Display and packing

void ConfigPage::Display_RAM2(const Ram2Image& ram2)
{
    displayFields(this, ram2ConfigFields(), std::span<const std::uint8_t>(ram2.data(), ram2.size()));

    // The same assign code stands in all three assign boxes of an output.
    for (int out = 0; out < 2; ++out) {
        const int code = get(ram2, ram2::DoutAssign, std::size_t(out));
        for (const char* f : {"F1", "F2", "F3"})
            selectQuietly(
                findChoice(this,
                           qPrintable(QStringLiteral("D%1%2Assignbox").arg(out + 1).arg(QLatin1String(f)))),
                code);
    }
    const quint16 din = get(ram2, ram2::DinPolarity);
    for (const PolarityBit& p : kDinPolarityBits)
        selectQuietly(findChoice(this, p.box), (din & p.bit) ? 1 : 0);
    const quint8 harm = get(ram2, ram2::HarmEnabled);
    for (int bit = 0; bit < 6; ++bit) {
        auto* box = findChild<QCheckBox*>(QLatin1String(kHarmBoxes[bit]));
        const QSignalBlocker block(box);
        box->setChecked(harm & (1u << bit));
    }

    EPlimitingSelect();
    D1functionboxSelect();
    D2functionboxSelect();
}

void ConfigPage::Ram2refresh(Ram2Image& ram2) const
{
    packFields(this, ram2ConfigFields(), std::span<std::uint8_t>(ram2.data(), ram2.size()));

    const FieldInfo& assign = ram2Field("DoutAssign").info();
    for (int out = 0; out < 2; ++out) {
        const int function = findChoice(this, out == 0 ? "D1functionbox" : "D2functionbox")->currentIndex();
        int code = 0;
        if (function >= 1 && function <= 3)
            code = findChoice(this, qPrintable(QStringLiteral("D%1F%2Assignbox").arg(out + 1).arg(function)))
                       ->currentIndex();
        writeInteger(std::span<std::uint8_t>(ram2.data(), ram2.size()), assign, std::size_t(out), code);
    }
    quint16 din = 0;
    for (const PolarityBit& p : kDinPolarityBits)
        if (findChoice(this, p.box)->currentIndex() == 1)
            din |= p.bit;
    set(ram2, ram2::DinPolarity, din);
    quint8 harm = 0;
    for (int bit = 0; bit < 6; ++bit)
        if (findChild<QCheckBox*>(QLatin1String(kHarmBoxes[bit]))->isChecked())
            harm |= quint8(1u << bit);
    set(ram2, ram2::HarmEnabled, harm);
}

// ---------------------------------------------------------------------------------------------
// Visibility

void ConfigPage::updateAntestbox()
{
    const bool testAssigned = findChoice(this, "A1Assignedbox")->currentIndex() == 0 ||
                              findChoice(this, "A2Assignedbox")->currentIndex() == 0;
    w("Antestbox")->setVisible(m_modul2 == 1 && testAssigned);
}

void ConfigPage::D1functionboxSelect()
{
    const int function = findChoice(this, "D1functionbox")->currentIndex();
    w("D1F1panel")->setVisible(function == 1);
    w("D1F2panel")->setVisible(function == 2);
    w("D1F3panel")->setVisible(function == 3);
    w("D1F4panel")->setVisible(function == 4);
    w("D1polaritybox")->setVisible(function != 0);
    w("D1polaritylabel")->setVisible(function != 0);
    updateAntestbox();
}

void ConfigPage::D2functionboxSelect()
{
    const int function = findChoice(this, "D2functionbox")->currentIndex();
    w("D2F1panel")->setVisible(function == 1);
    w("D2F2panel")->setVisible(function == 2);
    w("D2F3panel")->setVisible(function == 3);
    w("D2F4Panel")->setVisible(function == 4);
    w("D2polaritybox")->setVisible(function != 0);
    w("D2Polaritylabel")->setVisible(function != 0);
    updateAntestbox();
}

void ConfigPage::Modul1boxSelect(int modul1Index)
{
    m_modul1 = modul1Index;
    w("D1panel")->setVisible(modul1Index > 0);
    w("D2panel")->setVisible(modul1Index > 0);
    EPlimitingSelect();
}

void ConfigPage::Modul2boxSelect(int modul2Index)
{
    m_modul2 = modul2Index;
    w("A1panel")->setVisible(modul2Index == 1);
    w("A2panel")->setVisible(modul2Index == 1);
    w("Modbuspanel")->setVisible(modul2Index == 2);
    updateAntestbox();
}

void ConfigPage::ElrendezesboxSelect()
{
    emit arrangementSelected(findChoice(this, "Elrendezesbox")->currentIndex());
}

void ConfigPage::EPlimitingSelect()
{
    // The meter's rule, shown as the editors will pack it. Until the factory record tells which
    // module is fitted nothing is forced: the configuration record arrives first, and forcing then
    // would pack internal sources over the meter's own.
    if (sourcesForcedInternal(m_modul1)) {
        selectQuietly(findChoice(this, "Synchronsource"), 1);
        selectQuietly(findChoice(this, "Tarifsource"), 1);
    }
    const bool on = findChoice(this, "EPlimiting")->currentIndex() == 1;
    const bool externalSync = findChoice(this, "Synchronsource")->currentIndex() == 0;
    const bool externalTariff = findChoice(this, "Tarifsource")->currentIndex() == 0;
    for (const char* name : {"Synchronsource", "Tarifsource", "EPSampletime", "MaxEP0"})
        w(name)->setVisible(on);
    w("Synchronpolarity")->setVisible(on && externalSync);
    for (const char* name : {"Tarifpolarity", "MaxEP1", "MaxEP2", "MaxEP3"})
        w(name)->setVisible(on && externalTariff);
}

void ConfigPage::showNewPassword(int password)
{
    m_committedPassword = password;
    const QSignalBlocker block(m_newPassword);
    m_newPassword->setValue(password);
}

void ConfigPage::setWriteEnabled(bool enabled)
{
    enableOrExplain(findChild<QPushButton*>(QStringLiteral("Button1")), enabled, "Message.WriteNeedsRecords");
}

void ConfigPage::setClearEnergyEnabled(bool enabled)
{
    enableOrExplain(findChild<QPushButton*>(QStringLiteral("ClearEnergybutton")), enabled,
                    "Message.ClearEnergyNeedsRam1");
}

void ConfigPage::attach(DeviceModel& model, ConfigFiles& files, UserPrompts& prompts)
{
    ReadRegistry(prompts);
    connect(this, &ConfigPage::newPasswordChanged, this, &ConfigPage::NewPasswordValueChanged);
    connect(&model, &DeviceModel::ram2Changed, this, &ConfigPage::Display_RAM2);
    connect(&model, &DeviceModel::packingRam2, this, &ConfigPage::Ram2refresh);
    connect(&model, &DeviceModel::moduleEdited, this, [this](int slot, int index) {
        if (slot == 1)
            Modul1boxSelect(index);
        else
            Modul2boxSelect(index);
    });
    auto updateButtons = [this, &model] {
        setWriteEnabled(model.configWritable());
        setClearEnergyEnabled(model.ram1Held());
    };
    connect(&model, &DeviceModel::recordsHeldChanged, this, updateButtons);
    updateButtons();

    connect(this, &ConfigPage::readRamClicked, &model, &DeviceModel::ReadRamClick);
    connect(this, &ConfigPage::writeRamClicked, &model, &DeviceModel::WriteRamClick);
    connect(this, &ConfigPage::saveRecordClicked, &files, &ConfigFiles::ButtonSaveRecordClick);
    connect(this, &ConfigPage::readRecordClicked, &files, &ConfigFiles::ButtonReadRecordClick);
    connect(this, &ConfigPage::userDefaultClicked, &model,
            [&model] { model.requestService(kServiceUserDefaults); });
    connect(this, &ConfigPage::clearEnergyClicked, &model, [&model, &prompts] {
        // After a hiccup on the line the meter must say who it is before its counters are cleared.
        if (!model.energyClearable())
            prompts.showError(currentText("Message.ClearEnergyNeedsRam1"));
        else
            model.clearEnergy();
    });
    connect(this, &ConfigPage::arrangementSelected, &model, &DeviceModel::editArrangement);
    // The analog test value goes out as the edit holds it when the request is sent.
    model.setDaTestSource([this] { return static_cast<float>(m_antestValue->value()); });
    connect(this, &ConfigPage::antestClicked, &model, &DeviceModel::requestDaTest);
}

void ConfigPage::ReadRegistry(UserPrompts& prompts)
{
    const UserPasswordStore::ReadResult r = UserPasswordStore().read();
    m_userPassword = r.password;
    showNewPassword(m_userPassword);
    if (!r.error.isEmpty())
        prompts.showError(r.error);
}

void ConfigPage::WriteRegistry()
{
    // A store that cannot be written leaves the password for this run only, without a message.
    UserPasswordStore().write(m_userPassword);
}

void ConfigPage::NewPasswordValueChanged(int password)
{
    m_userPassword = password;
    WriteRegistry();
}

} // namespace kvam
