#include "MeasurementPage.h"

#include "LabeledEdit.h"
#include "Lamp.h"
#include "NumberFormat.h"

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

struct Cell
{
    const char* name;
    const char* caption;
};

struct Row
{
    Cell l1, l2, l3, sum;
};

// Empty names leave the cell blank. In row 11 the L13 voltage stands in the L3 column, in row
// 12 the L13 angle in the L2 column, as on the meter's own display.
constexpr Row kRows[] = {
    {{"L1urms", "Urms [V]"}, {"L2urms", "Urms"}, {"L3urms", "Urms"}, {"", ""}},
    {{"L1irms", "Irms [A]"}, {"L2irms", "Irms"}, {"L3irms", "Irms"}, {"", ""}},
    {{"L1fi", "Fi [°]"}, {"L2fi", "Fi"}, {"L3fi", "Fi"}, {"", ""}},
    {{"L1f", "f [Hz]"}, {"L2f", "Frekv."}, {"L3f", "Frekv."}, {"", ""}},
    {{"L1p", "P [kW]"}, {"L2p", "P"}, {"L3p", "P"}, {"Sump", "SUM P"}},
    {{"L1q", "Q [kVAr]"}, {"L2q", "Q"}, {"L3q", "Q"}, {"Sumq", "SUM Q"}},
    {{"L1s", "S [kVA]"}, {"L2s", "S"}, {"L3s", "S"}, {"Sums", "SUM S"}},
    {{"L1pf", "PF"}, {"L2pf", "PF"}, {"L3pf", "PF"}, {"Sumpf", "SUM PF"}},
    {{"L1uthd", "THD U [%]"}, {"L2uthd", "THD U"}, {"L3uthd", "THD U"}, {"", ""}},
    {{"L1ithd", "THD I [%]"}, {"L2ithd", "THD I"}, {"L3ithd", "THD I"}, {"", ""}},
    {{"L12urms", "L12 Urms [V]"}, {"L23urms", "L23 Urms [V]"}, {"L13urms", "L13 Urms [V]"}, {"", ""}},
    {{"L12fi", "L12 Fi [°]"}, {"L13fi", "L13 Fi [°]"}, {"", ""}, {"", ""}},
    {{"L1EPplus", "EP+ [kWh]"}, {"L2EPplus", "EP+"}, {"L3EPplus", "EP+"}, {"L123EPplus", "EP+"}},
    {{"L1EPminus", "EP- [kWh]"}, {"L2EPminus", "EP-"}, {"L3EPminus", "EP-"}, {"L123EPminus", "EP-"}},
    {{"L1EQplus", "EQ+ [kVArh]"}, {"L2EQplus", "EQ+"}, {"L3EQplus", "EQ+"}, {"L123EQplus", "EQ+"}},
    {{"L1EQminus", "EQ- [kVArh]"}, {"L2EQminus", "EQ-"}, {"L3EQminus", "EQ-"}, {"L123EQminus", "EQ-"}},
};

QLabel* makeHeader(const QString& text, QWidget* parent, int editLeft, int top)
{
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(editLeft, top, LabeledEdit::kWidth, 16);
    return label;
}

void addCell(const Cell& cell, QWidget* parent, int editLeft, int top, int labelWidth)
{
    if (*cell.name == '\0')
        return;
    LabeledEdit::create(parent, QString::fromUtf8(cell.name), QString::fromUtf8(cell.caption), editLeft, top,
                        labelWidth);
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
    auto* group = new QGroupBox(QStringLiteral(" Mért értékek "), this);
    group->setObjectName(QStringLiteral("GroupBox6"));
    group->setGeometry(8, 4, 739, 391);

    makeHeader(QStringLiteral("L1"), group, kL1EditLeft, kHeaderTop);

    // Only L1 is shown until the measuring arrangement is known.
    m_panel1 = new QWidget(group);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    const int rowCount = int(std::size(kRows));
    const int panelEdit0 = kPanelLabelWidth + LabeledEdit::kLabelGap;
    m_panel1->setGeometry(kPanelLeft, kPanelTop, panelEdit0 + 2 * kPanelColumnPitch + LabeledEdit::kWidth,
                          kFirstRowTop - kPanelTop + rowCount * kRowPitch);
    makeHeader(QStringLiteral("L2"), m_panel1, panelEdit0, kHeaderTop - kPanelTop);
    makeHeader(QStringLiteral("L3"), m_panel1, panelEdit0 + kPanelColumnPitch, kHeaderTop - kPanelTop);
    makeHeader(QStringLiteral("L1+L2+L3"), m_panel1, panelEdit0 + 2 * kPanelColumnPitch, kHeaderTop - kPanelTop);

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
    auto* group = new QGroupBox(QStringLiteral(" Verzió, gyári szám "), this);
    group->setObjectName(QStringLiteral("GroupBox5"));
    group->setGeometry(8, 399, 232, 168);
    const struct { const char* name; const char* caption; } fields[] = {
        {"Programversion", "Program verzió"}, {"Programdate", "Program dátum"}, {"Gyartasiszam", "Gyári szám"},
        {"Gyartaseve", "Gyártás éve"},        {"Gyartashonapja", "Gyártás hónapja"},
    };
    int top = 20;
    for (const auto& f : fields) {
        LabeledEdit::create(group, QString::fromUtf8(f.name), QString::fromUtf8(f.caption), 126, top, 114);
        top += 29;
    }
}

void MeasurementPage::buildDemand()
{
    auto* group = new QGroupBox(QStringLiteral(" Lekötött teljesítmény "), this);
    group->setObjectName(QStringLiteral("GroupBox7"));
    group->setGeometry(248, 399, 206, 168);
    const struct { const char* name; const char* caption; } fields[] = {
        {"EPenabled", "Lekötött"}, {"EPprevious", "Előző"},         {"EPestimated", "Becsült"},
        {"EPcurrent", "Eddigi"},   {"EPtimeelapsed", "Eltelt idő"},
    };
    int top = 20;
    for (const auto& f : fields) {
        LabeledEdit::create(group, QString::fromUtf8(f.name), QString::fromUtf8(f.caption), 98, top, 86);
        top += 29;
    }
}

void MeasurementPage::buildInputsOutputs()
{
    auto* group = new QGroupBox(QStringLiteral(" Ki/bemenetek"), this);
    group->setObjectName(QStringLiteral("GroupBox8"));
    group->setGeometry(462, 399, 170, 168);

    // Caption labels carry the names the language switch knows them by.
    auto addLamp = [group](const char* name, Lamp::Shape shape, QRgb colour, const char* labelName,
                           const QString& caption, int top) {
        auto* lamp = new Lamp(shape, QColor(colour), group);
        lamp->setObjectName(QString::fromLatin1(name));
        lamp->setGeometry(12, top + 3, 14, 14);
        auto* label = new QLabel(caption, group);
        label->setObjectName(QString::fromLatin1(labelName));
        label->setGeometry(32, top, 72, 20);
        return lamp;
    };
    m_output1 = addLamp("Output1", Lamp::Shape::Square, kOutputActive, "Label99", QStringLiteral("1.kimenet"), 22);
    m_output2 = addLamp("Output2", Lamp::Shape::Square, kOutputActive, "Label100", QStringLiteral("2.kimenet"), 48);
    m_input1 = addLamp("Input1", Lamp::Shape::Circle, kInputActive, "Label101", QStringLiteral("1.bemenet"), 80);
    m_input2 = addLamp("Input2", Lamp::Shape::Circle, kInputActive, "Label102", QStringLiteral("2.bemenet"), 106);
    m_input3 = addLamp("Input3", Lamp::Shape::Circle, kInputActive, "Label103", QStringLiteral("3.bemenet"), 132);

    m_testOut1 = new QCheckBox(QStringLiteral("Teszt"), group);
    m_testOut1->setObjectName(QStringLiteral("Testout1"));
    m_testOut1->setGeometry(106, 22, 60, 20);
    m_testOut2 = new QCheckBox(QStringLiteral("Teszt"), group);
    m_testOut2->setObjectName(QStringLiteral("Testout2"));
    m_testOut2->setGeometry(106, 48, 60, 20);

    m_passwButton = new QPushButton(QStringLiteral("Beállítások"), this);
    m_passwButton->setObjectName(QStringLiteral("Passwbutton"));
    m_passwButton->setGeometry(640, 540, 110, 27);
}

void MeasurementPage::showNet(const NetRecord& rec)
{
    for (const NetField& f : netFields()) {
        if (LabeledEdit* edit = field(QString::fromLatin1(f.name)))
            edit->setText(netFieldText(rec, f));
    }
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
    const auto colour = [&rec](IoBit bit, QRgb active) { return QColor(ioActive(rec, bit) ? active : kIoInactive); };
    m_output1->setColor(colour(kIoOutput1, kOutputActive));
    m_output2->setColor(colour(kIoOutput2, kOutputActive));
    m_input1->setColor(colour(kIoInput1, kInputActive));
    m_input2->setColor(colour(kIoInput2, kInputActive));
    m_input3->setColor(colour(kIoInput3, kInputActive));
}

void MeasurementPage::showVersion(const VersionRecord& rec)
{
    field(QStringLiteral("Programversion"))->setText(versionText(rec));
    field(QStringLiteral("Programdate"))->setText(versionDateText(rec));
    field(QStringLiteral("Gyartasiszam"))->setText(factoryNumberText(rec));
    field(QStringLiteral("Gyartaseve"))->setText(formatNumber("%d", manufactureYear(rec)));
    field(QStringLiteral("Gyartashonapja"))->setText(formatNumber("%d", manufactureMonth(rec)));
}

void MeasurementPage::showEp(const EpRecord& rec)
{
    const auto text = [](quint32 v) { return formatNumber("%u", static_cast<unsigned>(v)); };
    field(QStringLiteral("EPenabled"))->setText(text(epEnabled(rec)));
    field(QStringLiteral("EPprevious"))->setText(text(epPrevious(rec)));
    field(QStringLiteral("EPestimated"))->setText(text(epEstimated(rec)));
    field(QStringLiteral("EPcurrent"))->setText(text(epCurrent(rec)));
    field(QStringLiteral("EPtimeelapsed"))->setText(text(epElapsed(rec)));
}

LabeledEdit* MeasurementPage::field(const QString& name) const
{
    return m_fields.value(name, nullptr);
}

} // namespace kvam
