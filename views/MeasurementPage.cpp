#include "views/MeasurementPage.h"

#include "device/DeviceModel.h"
#include "device/MeterRules.h"
#include "platform/FrameCache.h"
#include "platform/LabeledEdit.h"
#include "platform/Lamp.h"
#include "platform/NumberFormat.h"
#include "texts/UiTexts.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <iterator>

namespace kvam {

namespace {

// Geometry of the measured-values grid. The L1 column stands in the group; the other three
// columns stand on Panel1, whose origin is kPanelLeft/kPanelTop in the group.
constexpr int kHeaderTop = 16;
constexpr int kFirstRowTop = 34;
constexpr int kRowPitch = 22;
constexpr int kL1LabelWidth = 82;
constexpr int kL1EditLeft = 3 + kL1LabelWidth + LabeledEdit::kLabelGap;
constexpr int kPanelLeft = kL1EditLeft + LabeledEdit::kWidth + 3;
constexpr int kPanelTop = 14;
constexpr int kPanelLabelWidth = 80;
constexpr int kPanelColumnPitch = kPanelLabelWidth + LabeledEdit::kLabelGap + LabeledEdit::kWidth - 1;

// A cell is the control name of its field; its caption comes from the text table.
using Cell = const char*;

struct Row
{
    Cell l1, l2, l3, sum;
};

// Empty names leave the cell blank. In row 11 the L13 voltage stands in the L3 column, in row
// 12 the L13 angle in the L2 column, as on the meter's own display.
constexpr Row kRows[] = {
    {"L1urms", "L2urms", "L3urms", ""},
    {"L1irms", "L2irms", "L3irms", ""},
    {"L1fi", "L2fi", "L3fi", ""},
    {"L1f", "L2f", "L3f", ""},
    {"L1p", "L2p", "L3p", "Sump"},
    {"L1q", "L2q", "L3q", "Sumq"},
    {"L1s", "L2s", "L3s", "Sums"},
    {"L1pf", "L2pf", "L3pf", "Sumpf"},
    {"L1uthd", "L2uthd", "L3uthd", ""},
    {"L1ithd", "L2ithd", "L3ithd", ""},
    {"L12urms", "L23urms", "L13urms", ""},
    {"L12fi", "L13fi", "", ""},
    {"L1EPplus", "L2EPplus", "L3EPplus", "L123EPplus"},
    {"L1EPminus", "L2EPminus", "L3EPminus", "L123EPminus"},
    {"L1EQplus", "L2EQplus", "L3EQplus", "L123EQplus"},
    {"L1EQminus", "L2EQminus", "L3EQminus", "L123EQminus"},
};

QLabel* makeHeader(const char* name, QWidget* parent, int editLeft, int top)
{
    auto* label = new QLabel(uiText(name), parent);
    label->setObjectName(QLatin1String(name));
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(editLeft, top, LabeledEdit::kWidth, 16);
    return label;
}

void addCell(Cell cell, QWidget* parent, int editLeft, int top, int labelWidth)
{
    if (*cell == '\0')
        return;
    LabeledEdit::create(parent, QString::fromLatin1(cell), uiText(cell), editLeft, top, labelWidth);
}

} // namespace

MeasurementPage::MeasurementPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet_Meres"));
    resize(761, 573);
    buildMeasurements();
    buildVersion();
    buildDemand();
    buildInputsOutputs();
    // Display_Net looks up 39 fields per answer: index them once.
    for (LabeledEdit* edit : findChildren<LabeledEdit*>())
        m_fields.insert(edit->objectName(), edit);
}

void MeasurementPage::buildMeasurements()
{
    auto* group = new CachedGroupBox(uiText("GroupBox6"), this);
    group->setObjectName(QStringLiteral("GroupBox6"));
    group->setGeometry(8, 4, 739, 391);

    makeHeader("HeaderL1", group, kL1EditLeft, kHeaderTop);

    // Only L1 is shown until the measuring arrangement is known.
    m_panel1 = new QWidget(group);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    const int rowCount = int(std::size(kRows));
    const int panelEdit0 = kPanelLabelWidth + LabeledEdit::kLabelGap;
    m_panel1->setGeometry(kPanelLeft, kPanelTop, panelEdit0 + 2 * kPanelColumnPitch + LabeledEdit::kWidth,
                          kFirstRowTop - kPanelTop + rowCount * kRowPitch);
    makeHeader("HeaderL2", m_panel1, panelEdit0, kHeaderTop - kPanelTop);
    makeHeader("HeaderL3", m_panel1, panelEdit0 + kPanelColumnPitch, kHeaderTop - kPanelTop);
    makeHeader("HeaderSum", m_panel1, panelEdit0 + 2 * kPanelColumnPitch, kHeaderTop - kPanelTop);

    for (int r = 0; r < rowCount; ++r) {
        const Row& row = kRows[r];
        const int top = kFirstRowTop + r * kRowPitch;
        addCell(row.l1, group, kL1EditLeft, top, kL1LabelWidth);
        addCell(row.l2, m_panel1, panelEdit0, top - kPanelTop, kPanelLabelWidth);
        addCell(row.l3, m_panel1, panelEdit0 + kPanelColumnPitch, top - kPanelTop, kPanelLabelWidth);
        addCell(row.sum, m_panel1, panelEdit0 + 2 * kPanelColumnPitch, top - kPanelTop, kPanelLabelWidth);
    }
    m_panel1->hide();
}

void MeasurementPage::buildVersion()
{
    auto* group = new CachedGroupBox(uiText("GroupBox5"), this);
    group->setObjectName(QStringLiteral("GroupBox5"));
    group->setGeometry(8, 399, 232, 168);
    const char* const fields[] = {
        "Programversion", "Programdate", "Gyartasiszam", "Gyartaseve", "Gyartashonapja",
    };
    int top = 20;
    for (const auto& f : fields) {
        LabeledEdit::create(group, QString::fromLatin1(f), uiText(f), 126, top, 114);
        top += 29;
    }
}

void MeasurementPage::buildDemand()
{
    auto* group = new CachedGroupBox(uiText("GroupBox7"), this);
    group->setObjectName(QStringLiteral("GroupBox7"));
    group->setGeometry(248, 399, 206, 168);
    const char* const fields[] = {
        "EPenabled", "EPprevious", "EPestimated", "EPcurrent", "EPtimeelapsed",
    };
    int top = 20;
    for (const auto& f : fields) {
        LabeledEdit::create(group, QString::fromLatin1(f), uiText(f), 98, top, 86);
        top += 29;
    }
}

void MeasurementPage::buildInputsOutputs()
{
    auto* group = new CachedGroupBox(uiText("GroupBox8"), this);
    group->setObjectName(QStringLiteral("GroupBox8"));
    group->setGeometry(462, 399, 170, 168);

    // Caption labels carry the names the language switch knows them by.
    auto addLamp = [group](const char* name, Lamp::Shape shape, QRgb colour, const char* labelName, int top) {
        auto* lamp = new Lamp(shape, QColor(colour), group);
        lamp->setObjectName(QString::fromLatin1(name));
        lamp->setGeometry(12, top + 3, 14, 14);
        auto* label = new QLabel(uiText(labelName), group);
        label->setObjectName(QString::fromLatin1(labelName));
        label->setGeometry(32, top, 72, 20);
        return lamp;
    };
    m_output1 = addLamp("Output1", Lamp::Shape::Square, kOutputActive, "Label99", 22);
    m_output2 = addLamp("Output2", Lamp::Shape::Square, kOutputActive, "Label100", 48);
    m_input1 = addLamp("Input1", Lamp::Shape::Circle, kInputActive, "Label101", 80);
    m_input2 = addLamp("Input2", Lamp::Shape::Circle, kInputActive, "Label102", 106);
    m_input3 = addLamp("Input3", Lamp::Shape::Circle, kInputActive, "Label103", 132);

    m_testOut1 = new QCheckBox(uiText("Testout1"), group);
    m_testOut1->setObjectName(QStringLiteral("Testout1"));
    m_testOut1->setGeometry(106, 22, 60, 20);
    m_testOut2 = new QCheckBox(uiText("Testout2"), group);
    m_testOut2->setObjectName(QStringLiteral("Testout2"));
    m_testOut2->setGeometry(106, 48, 60, 20);

    // TestOutputbuttonClick: one handler for both boxes.
    for (QCheckBox* box : {m_testOut1, m_testOut2})
        connect(box, &QCheckBox::clicked, this, [this] { emit testOutputsClicked(testOutputByte()); });

    m_passwButton = new QPushButton(uiText("Passwbutton"), this);
    m_passwButton->setObjectName(QStringLiteral("Passwbutton"));
    m_passwButton->setGeometry(640, 540, 110, 27);
    m_reportButton = new QPushButton(uiText("ReportButton"), this);
    m_reportButton->setObjectName(QStringLiteral("ReportButton"));
    m_reportButton->setGeometry(640, 506, 110, 27);
}

void MeasurementPage::showNet(const NetRecord& rec)
{
    for (const NetField& f : netFields()) {
        if (LabeledEdit* edit = field(QString::fromLatin1(f.name)))
            edit->showText(netFieldText(rec, f));
    }
}

quint8 MeasurementPage::testOutputByte() const
{
    quint8 byte = 0;
    if (m_testOut1->isChecked())
        byte |= 0x01;
    if (m_testOut2->isChecked())
        byte |= 0x02;
    return byte;
}

void MeasurementPage::showRam1(const Ram1Image& ram1)
{
    for (const EnergyField& f : energyFields())
        if (LabeledEdit* edit = field(QString::fromLatin1(f.name)))
            edit->showText(energyFieldText(ram1, f));
}

void MeasurementPage::showArrangement(const Ram2Image& ram2)
{
    setThreePhaseColumnsVisible(threePhaseArrangement(ram2));
}

void MeasurementPage::setThreePhaseColumnsVisible(bool visible)
{
    m_panel1->setVisible(visible);
}

bool MeasurementPage::threePhaseColumnsVisible() const
{
    return !m_panel1->isHidden();
}

void MeasurementPage::showState(const StateRecord& rec)
{
    const auto colour = [&rec](IoBit bit, QRgb active) {
        return QColor(ioActive(rec, bit) ? active : kIoInactive);
    };
    m_output1->setColor(colour(kIoOutput1, kOutputActive));
    m_output2->setColor(colour(kIoOutput2, kOutputActive));
    m_input1->setColor(colour(kIoInput1, kInputActive));
    m_input2->setColor(colour(kIoInput2, kInputActive));
    m_input3->setColor(colour(kIoInput3, kInputActive));
}

void MeasurementPage::showVersion(const VersionRecord& rec)
{
    field(QStringLiteral("Programversion"))->showText(versionText(rec));
    field(QStringLiteral("Programdate"))->showText(versionDateText(rec));
    field(QStringLiteral("Gyartasiszam"))->showText(factoryNumberText(rec));
    field(QStringLiteral("Gyartaseve"))->showText(formatNumber("%d", manufactureYear(rec)));
    field(QStringLiteral("Gyartashonapja"))->showText(formatNumber("%d", manufactureMonth(rec)));
}

void MeasurementPage::showEp(const EpRecord& rec)
{
    const auto text = [](quint32 v) { return formatNumber("%u", static_cast<unsigned>(v)); };
    field(QStringLiteral("EPenabled"))->showText(text(epEnabled(rec)));
    field(QStringLiteral("EPprevious"))->showText(text(epPrevious(rec)));
    field(QStringLiteral("EPestimated"))->showText(text(epEstimated(rec)));
    field(QStringLiteral("EPcurrent"))->showText(text(epCurrent(rec)));
    field(QStringLiteral("EPtimeelapsed"))->showText(text(epElapsed(rec)));
}

LabeledEdit* MeasurementPage::field(const QString& name) const
{
    return m_fields.value(name, nullptr);
}

void MeasurementPage::attach(DeviceModel& model)
{
    connect(&model, &DeviceModel::stateChanged, this, &MeasurementPage::showState);
    connect(&model, &DeviceModel::netChanged, this, &MeasurementPage::showNet);
    connect(&model, &DeviceModel::ram1Changed, this, &MeasurementPage::showRam1);
    connect(&model, &DeviceModel::ram2Changed, this, &MeasurementPage::showArrangement);
    connect(&model, &DeviceModel::epChanged, this, &MeasurementPage::showEp);
    connect(&model, &DeviceModel::versionChanged, this, &MeasurementPage::showVersion);
    connect(&model, &DeviceModel::arrangementEdited, this,
            [this](int index) { setThreePhaseColumnsVisible(threePhaseArrangement(index)); });
    connect(this, &MeasurementPage::testOutputsClicked, &model, &DeviceModel::setDigout);
}

} // namespace kvam
