#include "views/MeasurementPage.h"

#include "device/DeviceModel.h"
#include "device/MeterRules.h"
#include "platform/FrameCache.h"
#include "platform/LabeledEdit.h"
#include "platform/Lamp.h"
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

// The version and demand groups: one column of fields, 29 pixels apart.
constexpr int kListFirstTop = 20;
constexpr int kListPitch = 29;

// The lamps' tops in the inputs and outputs group, in the order of ioLamps().
constexpr int kLampTops[] = {22, 48, 80, 106, 132};
static_assert(std::size(kLampTops) == kIoLampCount);

} // namespace

MeasurementPage::MeasurementPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet_Meres"));
    resize(761, 573);
    buildMeasurements();
    buildList(measureGroups()[kVersionGroup], QRect(8, 399, 232, 168), 126, 114);
    buildList(measureGroups()[kDemandGroup], QRect(248, 399, 206, 168), 98, 86);
    buildInputsOutputs();
    // field() looks fields up by name: index them once.
    for (LabeledEdit* edit : findChildren<LabeledEdit*>())
        m_fields.insert(edit->objectName(), edit);
}

LabeledEdit* MeasurementPage::addField(const MeasureCell& cell, QWidget* parent, int editLeft, int top,
                                       int labelWidth)
{
    if (cell.blank())
        return nullptr;
    auto* edit = LabeledEdit::create(parent, QString::fromLatin1(cell.name()), uiText(cell.name()), editLeft,
                                     top, labelWidth);
    m_cells.emplace_back(cell, edit);
    return edit;
}

void MeasurementPage::buildMeasurements()
{
    const MeasureGroup& values = measureGroups()[kMeasuredValues];
    auto* group = new CachedGroupBox(uiText(values.key), this);
    group->setObjectName(QLatin1String(values.key));
    group->setGeometry(8, 4, 739, 391);

    // The single-phase columns stand in the group; the others on Panel1, shown only once the
    // measuring arrangement is known to be three-phase.
    struct Column
    {
        QWidget* parent;
        int editLeft;
        int top; ///< of the parent in the group
        int labelWidth;
    };
    const int panelEdit0 = kPanelLabelWidth + LabeledEdit::kLabelGap;
    const auto column = [&](std::size_t c) {
        if (c < values.singlePhaseColumns)
            return Column{group, kL1EditLeft, 0, kL1LabelWidth};
        return Column{m_panel1, panelEdit0 + int(c - values.singlePhaseColumns) * kPanelColumnPitch,
                      kPanelTop, kPanelLabelWidth};
    };
    for (std::size_t c = 0; c < values.singlePhaseColumns; ++c)
        makeHeader(values.headers[c], group, column(c).editLeft, kHeaderTop);

    m_panel1 = new QWidget(group);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    const int rowCount = int(values.rows());
    const int panelColumns = int(values.columns - values.singlePhaseColumns);
    m_panel1->setGeometry(kPanelLeft, kPanelTop,
                          panelEdit0 + (panelColumns - 1) * kPanelColumnPitch + LabeledEdit::kWidth,
                          kFirstRowTop - kPanelTop + rowCount * kRowPitch);
    for (std::size_t c = values.singlePhaseColumns; c < values.columns; ++c)
        makeHeader(values.headers[c], m_panel1, column(c).editLeft, kHeaderTop - kPanelTop);

    for (int r = 0; r < rowCount; ++r) {
        const int top = kFirstRowTop + r * kRowPitch;
        for (std::size_t c = 0; c < values.columns; ++c) {
            const Column place = column(c);
            addField(values.at(std::size_t(r), c), place.parent, place.editLeft, top - place.top,
                     place.labelWidth);
        }
    }
    m_panel1->hide();
}

void MeasurementPage::buildList(const MeasureGroup& fields, const QRect& geometry, int editLeft,
                                int labelWidth)
{
    auto* group = new CachedGroupBox(uiText(fields.key), this);
    group->setObjectName(QLatin1String(fields.key));
    group->setGeometry(geometry);
    int top = kListFirstTop;
    for (const MeasureCell& cell : fields.cells) {
        addField(cell, group, editLeft, top, labelWidth);
        top += kListPitch;
    }
}

void MeasurementPage::buildInputsOutputs()
{
    auto* group = new CachedGroupBox(uiText("GroupBox8"), this);
    group->setObjectName(QStringLiteral("GroupBox8"));
    group->setGeometry(462, 399, 170, 168);

    // Caption labels carry the names the language switch knows them by.
    for (std::size_t i = 0; i < kIoLampCount; ++i) {
        const IoLamp& io = ioLamps()[i];
        const int top = kLampTops[i];
        auto* lamp = new Lamp(io.output ? Lamp::Shape::Square : Lamp::Shape::Circle,
                              QColor(io.output ? kOutputActive : kInputActive), group);
        lamp->setObjectName(QString::fromLatin1(io.name));
        lamp->setGeometry(12, top + 3, 14, 14);
        auto* label = new QLabel(uiText(io.caption), group);
        label->setObjectName(QString::fromLatin1(io.caption));
        label->setGeometry(32, top, 72, 20);
        m_lamps[i] = lamp;
    }

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

void MeasurementPage::showRecords(const MeasureRecords& records)
{
    for (const auto& [cell, edit] : m_cells)
        if (records.has(cell.source))
            edit->showText(measureCellText(cell, records));
}

void MeasurementPage::showNet(const NetRecord& rec)
{
    showRecords({.net = &rec});
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
    showRecords({.counters = &ram1});
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
    for (std::size_t i = 0; i < kIoLampCount; ++i) {
        const IoLamp& io = ioLamps()[i];
        m_lamps[i]->setColor(QColor(!ioActive(rec, io.bit) ? kIoInactive
                                    : io.output            ? kOutputActive
                                                           : kInputActive));
    }
}

void MeasurementPage::showVersion(const VersionRecord& rec)
{
    showRecords({.version = &rec});
}

void MeasurementPage::showEp(const EpRecord& rec)
{
    showRecords({.ep = &rec});
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
