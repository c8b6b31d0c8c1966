#include "config/FactoryPage.h"

#include "config/ConfigFiles.h"
#include "config/RecordEditor.h"
#include "device/DeviceModel.h"
#include "device/FieldTable.h"
#include "platform/NumericSpin.h"
#include "platform/PageParts.h"
#include "protocol/ServiceCodes.h"
#include "texts/UiItems.h"
#include "texts/UiTexts.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace kvam {

namespace {

constexpr int kRow = 26;

// The label of a control's caption in the field table.
QLabel* caption(QWidget* parent, const char* control, int x, int y, int width)
{
    return makeFieldCaption(parent, control, QRect(x, y, width, 22));
}

NumericSpin* number(QWidget* parent, const char* name, int x, int y, int width = 90)
{
    return makeFieldNumber(parent, name, QRect(x, y, width, 22));
}

} // namespace

FactoryPage::FactoryPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet_FactorySettings"));

    QGroupBox* g = makeGroup(this, "GroupBox12", QRect(4, 2, 757, 470));
    caption(g, "Factorynum", 16, 24, 90);
    number(g, "Factorynum", 110, 24, 110);
    caption(g, "Factoryyear", 240, 24, 40);
    number(g, "Factoryyear", 280, 24, 60);
    caption(g, "Factorymonth", 360, 24, 50);
    number(g, "Factorymonth", 410, 24, 60);
    for (int m = 0; m < 2; ++m) {
        const char* name = m == 0 ? "Modul1box" : "Modul2box";
        // The module boxes make one composed value: each has a caption label of its own.
        auto* l = new QLabel(uiText(name), g);
        l->setObjectName(QLatin1String(name) + QStringLiteral("Label"));
        l->setGeometry(16, 24 + (m + 1) * kRow + 8, 90, 22);
        auto* box = new QComboBox(g);
        box->setObjectName(QLatin1String(name));
        box->addItems(uiItems(name));
        box->setCurrentIndex(0);
        box->setGeometry(110, 24 + (m + 1) * kRow + 8, 180, 22);
        connect(box, &QComboBox::activated, this,
                m == 0 ? &FactoryPage::modul1Selected : &FactoryPage::modul2Selected);
    }
    connect(makeButton(g, "VelmarDefaultbutton", QRect(560, 22, 180, 27)), &QPushButton::clicked, this,
            &FactoryPage::velmarDefaultClicked);
    connect(makeButton(g, "Rd_velmar_cal", QRect(560, 56, 85, 27)), &QPushButton::clicked, this,
            &FactoryPage::readRamClicked);
    connect(makeButton(g, "Wr_velmar_cal", QRect(655, 56, 85, 27)), &QPushButton::clicked, this,
            &FactoryPage::writeRamClicked);

    const int top = 120;
    QGroupBox* ad = makeGroup(g, "GroupBox15", QRect(12, top, 236, 230));
    const FieldKeys& offsets = findConfigField(ram3ConfigFields(), "Offset")->controls;
    for (int i = 0; i < 6; ++i) {
        caption(ad, offsets[i], 12, 22 + i * kRow, 90);
        number(ad, offsets[i], 110, 22 + i * kRow);
    }
    caption(ad, "ADhist", 12, 22 + 6 * kRow + 8, 95);
    number(ad, "ADhist", 110, 22 + 6 * kRow + 8);

    QGroupBox* phase = makeGroup(g, "GroupBox16", QRect(260, top, 236, 230));
    const FieldKeys& delays = findConfigField(ram3ConfigFields(), "Delay")->controls;
    QGroupBox* rms = makeGroup(g, "GroupBox17", QRect(508, top, 236, 230));
    const FieldKeys& cals = findConfigField(ram3ConfigFields(), "Calrms")->controls;
    for (int i = 0; i < 6; ++i) {
        caption(phase, delays[i], 12, 22 + i * kRow, 90);
        number(phase, delays[i], 110, 22 + i * kRow);
        caption(rms, cals[i], 12, 22 + i * kRow, 90);
        number(rms, cals[i], 110, 22 + i * kRow);
    }

    connect(makeButton(this, "ReadSettingsButton", QRect(4, 484, 200, 27)), &QPushButton::clicked, this,
            &FactoryPage::readSettingsClicked);
    connect(makeButton(this, "SaveSettingsButton", QRect(214, 484, 200, 27)), &QPushButton::clicked, this,
            &FactoryPage::saveSettingsClicked);
}

void FactoryPage::Display_RAM3(const Ram3Image& ram3)
{
    displayFields(this, ram3ConfigFields(), std::span<const std::uint8_t>(ram3.data(), ram3.size()));
    const quint16 modules = get(ram3, ram3::Modulconfig);
    const int m1 = modules & 15;
    const int m2 = (modules >> 4) & 15;
    selectQuietly(findChoice(this, "Modul1box"), m1);
    selectQuietly(findChoice(this, "Modul2box"), m2);
    emit modul1Selected(modul1Index());
    emit modul2Selected(modul2Index());
}

void FactoryPage::Ram3refresh(Ram3Image& ram3) const
{
    packFields(this, ram3ConfigFields(), std::span<std::uint8_t>(ram3.data(), ram3.size()));
    // A box left without a selection (a code it has no item for) keeps its module's bits as they
    // were: packing its -1 would turn the other module's code into something else.
    const quint16 stored = get(ram3, ram3::Modulconfig);
    const int m1 = modul1Index() >= 0 ? modul1Index() : (stored & 15);
    const int m2 = modul2Index() >= 0 ? modul2Index() : ((stored >> 4) & 15);
    set(ram3, ram3::Modulconfig, static_cast<std::uint16_t>(m1 + 16 * m2));
}

QString FactoryPage::factoryNumberText() const
{
    return findNumber(this, "Factorynum")->text();
}

int FactoryPage::modul1Index() const
{
    return findChoice(this, "Modul1box")->currentIndex();
}

int FactoryPage::modul2Index() const
{
    return findChoice(this, "Modul2box")->currentIndex();
}

void FactoryPage::setWriteEnabled(bool enabled)
{
    enableOrExplain(findChild<QPushButton*>(QStringLiteral("Wr_velmar_cal")), enabled,
                    "Message.WriteNeedsRecords");
}

void FactoryPage::attach(DeviceModel& model, ConfigFiles& files)
{
    m_files = &files;
    connect(&model, &DeviceModel::ram3Changed, this, &FactoryPage::Display_RAM3);
    connect(&model, &DeviceModel::packingRam3, this, &FactoryPage::Ram3refresh);
    connect(this, &FactoryPage::modul1Selected, &model, [&model](int index) { model.editModule(1, index); });
    connect(this, &FactoryPage::modul2Selected, &model, [&model](int index) { model.editModule(2, index); });
    auto updateButtons = [this, &model] { setWriteEnabled(model.configWritable()); };
    connect(&model, &DeviceModel::recordsHeldChanged, this, updateButtons);
    updateButtons();
    connect(this, &FactoryPage::readRamClicked, &model, &DeviceModel::ReadRamClick);
    connect(this, &FactoryPage::writeRamClicked, &model, &DeviceModel::WriteRamClick);
    connect(this, &FactoryPage::velmarDefaultClicked, &model,
            [&model] { model.requestService(kServiceFactoryDefaults); });
    connect(this, &FactoryPage::readSettingsClicked, this, &FactoryPage::ReadSettingsButtonClick);
    connect(this, &FactoryPage::saveSettingsClicked, this, &FactoryPage::SaveSettingsButtonClick);
}

void FactoryPage::SaveSettingsButtonClick()
{
    m_files->SaveRamSettings(factoryNumberText());
}

void FactoryPage::ReadSettingsButtonClick()
{
    m_files->ReadSettingsButtonClick();
}

} // namespace kvam
