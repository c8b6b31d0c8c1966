#include "views/HarmonicsPage.h"

#include "device/DeviceModel.h"
#include "texts/UiTexts.h"

#include <QGroupBox>
#include <QRadioButton>

namespace kvam {

HarmonicsPage::HarmonicsPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet_Harmonics"));
    resize(761, 573);

    m_view = new HarmonicsChart(this);
    m_view->setObjectName(QStringLiteral("Chart1"));
    m_view->setGeometry(QRect(QPoint(8, 5), HarmonicsChart::kSize));

    auto* box = new QGroupBox(this);
    box->setGeometry(128, 512, 457, 41);
    m_l1u = addRadio("ShowL1UHarm", box, 0);
    m_l1i = addRadio("ShowL1IHarm", box, 1);
    m_l2u = addRadio("ShowL2UHarm", box, 2);
    m_l2i = addRadio("ShowL2IHarm", box, 3);
    m_l3u = addRadio("ShowL3UHarm", box, 4);
    m_l3i = addRadio("ShowL3IHarm", box, 5);
    m_l1u->setChecked(true);
    for (QRadioButton* r : {m_l1u, m_l1i, m_l2u, m_l2i, m_l3u, m_l3i})
        connect(r, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                emit channelChanged(GetHarmChannel());
        });
}

QRadioButton* HarmonicsPage::addRadio(const char* name, QWidget* parent, int index)
{
    auto* radio = new QRadioButton(uiText(name), parent);
    radio->setObjectName(QString::fromLatin1(name));
    QFont f = radio->font();
    f.setBold(true);
    radio->setFont(f);
    radio->setGeometry(14 + index * 74, 10, 70, 22);
    return radio;
}

int HarmonicsPage::GetHarmChannel() const
{
    if (m_l1u->isChecked())
        return 0;
    if (m_l2u->isChecked())
        return 1;
    if (m_l3u->isChecked())
        return 2;
    if (m_l1i->isChecked())
        return 3;
    if (m_l2i->isChecked())
        return 4;
    return 5;
}

void HarmonicsPage::showHarmonics(const HarmonicsRecord& rec)
{
    m_amplitudes = harmonicsAmplitudes(rec);
    m_view->showHarmonics(rec);
}

void HarmonicsPage::attach(DeviceModel& model)
{
    connect(&model, &DeviceModel::harmonicsChanged, this, &HarmonicsPage::showHarmonics);
    connect(this, &HarmonicsPage::channelChanged, &model, &DeviceModel::setHarmonicsChannel);
}

} // namespace kvam
