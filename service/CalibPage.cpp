#include "service/CalibPage.h"

#include "config/RecordEditor.h"
#include "device/DeviceModel.h"
#include "device/FieldTable.h"
#include "platform/LabeledEdit.h"
#include "platform/NumberFormat.h"
#include "platform/NumericSpin.h"
#include "platform/PageParts.h"
#include "protocol/ServiceCodes.h"
#include "texts/UiTexts.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <array>

namespace kvam {

namespace {

struct Step
{
    quint8 code;
    const char* captionKey;
};
// The steps 1 to 4 of the sequence and their captions.
constexpr std::array<Step, 4> kSteps{{
    {kDAcalOutput1Point1, "DAcalbutton.Step01"},
    {kDAcalOutput1Point2, "DAcalbutton.Step11"},
    {kDAcalOutput2Point1, "DAcalbutton.Step02"},
    {kDAcalOutput2Point2, "DAcalbutton.Step12"},
}};
// The caption at every end of the sequence.
constexpr const char* kEndCaptionKey = "DAcalbutton.End";

} // namespace

CalibPage::CalibPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet_Calib"));

    QGroupBox* ad = makeGroup(this, "ADCalibbox", QRect(4, 4, 376, 330));
    const int labelWidth = 120;
    const int x = 12 + labelWidth + LabeledEdit::kLabelGap;
    m_uirms =
        LabeledEdit::create(ad, QStringLiteral("Caldat_UIrms"), uiText("Caldat_UIrms"), x, 28, labelWidth);
    m_average = LabeledEdit::create(ad, QStringLiteral("Caldat_Average"), uiText("Caldat_Average"), x, 62,
                                    labelWidth);
    m_adrms =
        LabeledEdit::create(ad, QStringLiteral("Caldat_ADrms"), uiText("Caldat_ADrms"), x, 96, labelWidth);
    m_offset =
        LabeledEdit::create(ad, QStringLiteral("RAM3_offset"), uiText("RAM3_offset"), x, 130, labelWidth);
    const int bx = x + LabeledEdit::kWidth + 8;
    m_calButtons << makeButton(ad, "Button_setnominal1", QRect(bx, 25, 125, 27))
                 << makeButton(ad, "Button_setoffset1", QRect(bx, 59, 125, 27))
                 << makeButton(ad, "Button_clearoffset1", QRect(bx, 127, 125, 27));
    connect(m_calButtons[0], &QPushButton::clicked, this,
            [this] { emit setNominalClicked(GetCalChannel()); });
    connect(m_calButtons[1], &QPushButton::clicked, this, [this] { emit setOffsetClicked(GetCalChannel()); });
    connect(m_calButtons[2], &QPushButton::clicked, this,
            [this] { emit clearOffsetClicked(GetCalChannel()); });

    QGroupBox* which = makeGroup(ad, "GroupBox2", QRect(12, 170, 352, 110));
    const char* radios[] = {"Cal_L1U", "Cal_L1I", "Cal_L2U", "Cal_L2I", "Cal_L3U", "Cal_L3I"};
    for (int ch = 0; ch < 6; ++ch) {
        auto* r = new QRadioButton(uiText(radios[ch]), which);
        r->setObjectName(QLatin1String(radios[ch]));
        // Voltages in the left column, currents in the right, phase by phase.
        r->setGeometry(20 + (ch % 2) * 150, 24 + (ch / 2) * 26, 120, 22);
        m_channels << r;
    }
    m_channels[0]->setChecked(true);

    QGroupBox* da = makeGroup(this, "DACalibbox", QRect(388, 4, 373, 330));
    m_daCal = makeButton(da, "DAcalbutton", QRect(12, 26, 349, 29));
    connect(m_daCal, &QPushButton::clicked, this, &CalibPage::DAcalbuttonClick);
    const char* points[] = {"Ch1Pwm1", "Ch1Pwm2", "Ch2Pwm1", "Ch2Pwm2"};
    for (int i = 0; i < 4; ++i) {
        makeFieldCaption(da, points[i], QRect(40, 76 + i * 30, 110, 22));
        NumericSpin* spin = makeFieldNumber(da, points[i], QRect(160, 76 + i * 30, 100, 22));
        spin->setEnabled(false);
        m_points << spin;
    }
    connect(makeButton(da, "Button3", QRect(40, 210, 100, 27)), &QPushButton::clicked, this,
            &CalibPage::readRamClicked);
    m_write = makeButton(da, "Button4", QRect(160, 210, 100, 27));
    connect(m_write, &QPushButton::clicked, this, &CalibPage::writeRamClicked);
}

int CalibPage::GetCalChannel() const
{
    // Tested in this order, so with no button checked the channel is L3 I.
    for (int ch : {0, 2, 4, 1, 3})
        if (m_channels[ch]->isChecked())
            return ch;
    return 5;
}

void CalibPage::Display_Caldat(const CaldataRecord& caldata, const Ram3Image& ram3)
{
    const auto ch = static_cast<std::size_t>(GetCalChannel());
    const double uirms = get(caldata, caldata::UIrms, ch);
    m_uirms->setText(ch % 2 ? formatNumber("%10.3f A", uirms) : formatNumber("%10.1f V", uirms));
    m_average->setText(QString::asprintf("%10d", int(get(caldata, caldata::Average, ch))));
    m_adrms->setText(QString::asprintf("%10d", int(get(caldata, caldata::ADrms, ch))));
    m_offset->setText(QString::asprintf("%10d", int(get(ram3, ram3::Offset, ch))));
}

void CalibPage::Display_RAM3(const Ram3Image& ram3)
{
    displayFields(this, ram3ConfigFields(), std::span<const std::uint8_t>(ram3.data(), ram3.size()));
}

void CalibPage::Ram3refresh(Ram3Image& ram3) const
{
    packFields(this, ram3ConfigFields(), std::span<std::uint8_t>(ram3.data(), ram3.size()));
}

void CalibPage::DAcalbuttonClick()
{
    ++m_step;
    if (m_step >= 1 && m_step <= 4) {
        const Step& s = kSteps[std::size_t(m_step - 1)];
        m_daCal->setText(currentText(s.captionKey));
        emit daCalCodeChanged(s.code);
    } else {
        m_step = 0;
        m_daCal->setText(currentText(kEndCaptionKey));
        emit daCalCodeChanged(kDAcalOff);
    }
    enablePoints();
}

void CalibPage::TabSheet_CalibExit()
{
    m_step = 0;
    m_daCal->setText(currentText(kEndCaptionKey));
    emit daCalCodeChanged(kDAcalOff);
    enablePoints();
}

void CalibPage::enablePoints()
{
    for (int i = 0; i < 4; ++i)
        m_points[i]->setEnabled(m_step == i + 1);
}

void CalibPage::setRam3Held(bool held)
{
    for (QPushButton* b : m_calButtons)
        enableOrExplain(b, held, "Message.CalibNeedsRam3");
}

void CalibPage::setWriteEnabled(bool enabled)
{
    enableOrExplain(m_write, enabled, "Message.WriteNeedsRecords");
}

void CalibPage::attach(DeviceModel& model)
{
    connect(&model, &DeviceModel::ram3Changed, this, &CalibPage::Display_RAM3);
    connect(&model, &DeviceModel::caldataChanged, this,
            [this, &model](const CaldataRecord& cal) { Display_Caldat(cal, model.memory().ram3); });
    connect(&model, &DeviceModel::packingRam3, this, &CalibPage::Ram3refresh);
    auto updateButtons = [this, &model] {
        setWriteEnabled(model.configWritable());
        setRam3Held(model.ram3Held());
    };
    connect(&model, &DeviceModel::recordsHeldChanged, this, updateButtons);
    updateButtons();
    connect(this, &CalibPage::daCalCodeChanged, &model, &DeviceModel::setDaCalCode);
    connect(this, &CalibPage::setNominalClicked, &model, &DeviceModel::calibrateNominal);
    connect(this, &CalibPage::setOffsetClicked, &model, &DeviceModel::calibrateOffset);
    connect(this, &CalibPage::clearOffsetClicked, &model, &DeviceModel::clearOffset);
    connect(this, &CalibPage::readRamClicked, &model, &DeviceModel::ReadRamClick);
    connect(this, &CalibPage::writeRamClicked, &model, &DeviceModel::WriteRamClick);
}

} // namespace kvam
