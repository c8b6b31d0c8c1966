#include "views/HarmonicsPage.h"

#include "device/DeviceModel.h"
#include "texts/UiTexts.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QGroupBox>
#include <QRadioButton>
#include <QValueAxis>

namespace kvam {

HarmonicsPage::HarmonicsPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet_Harmonics"));
    resize(761, 573);

    m_chart = new QChart;
    m_chart->legend()->hide();
    m_chart->setBackgroundBrush(Qt::white);
    m_chart->setBackgroundRoundness(0);
    m_chart->setPlotAreaBackgroundVisible(false);
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->setLocalizeNumbers(true);
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPixelSize(13);
    titleFont.setBold(true);
    m_chart->setTitleFont(titleFont);
    m_chart->setTitleBrush(QColor(0, 0, 255));
    setTitle(QStringLiteral("L1 U"));

    m_series = new QBarSeries;
    m_series->setObjectName(QStringLiteral("Series1"));
    m_bars = new QBarSet(QStringLiteral("Series1"));
    m_bars->setColor(QColor(255, 0, 0));
    m_bars->setBorderColor(QColor(128, 0, 0));
    m_bars->setLabelColor(Qt::black);
    m_series->append(m_bars);
    m_series->setBarWidth(0.6);
    m_series->setLabelsVisible(true);
    m_series->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
    m_series->setLabelsFormat(QStringLiteral("@value"));
    m_chart->addSeries(m_series);

    // A bar series puts bar k (0-based) at x = k. The series is mapped through a hidden axis
    // running from -1 to 20, so bar n (1-based) lands where the visible axis, which spans the
    // same width from 0 to 21, reads n.
    auto* barAxis = new QValueAxis;
    barAxis->setObjectName(QStringLiteral("BarAxis"));
    barAxis->setRange(-1, 20);
    barAxis->setVisible(false);
    m_chart->addAxis(barAxis, Qt::AlignBottom);
    m_series->attachAxis(barAxis);

    auto* bottom = new QValueAxis;
    bottom->setObjectName(QStringLiteral("BottomAxis"));
    bottom->setRange(0, 21);
    bottom->setTickCount(22);
    bottom->setMinorTickCount(0);
    bottom->setLabelFormat(QStringLiteral("%.0f"));
    m_chart->addAxis(bottom, Qt::AlignBottom);

    auto* left = new QValueAxis;
    left->setObjectName(QStringLiteral("LeftAxis"));
    left->setRange(0, 100);
    left->setTickCount(11);
    left->setMinorTickCount(4);
    left->setLabelFormat(QStringLiteral("%.0f"));
    m_chart->addAxis(left, Qt::AlignLeft);
    m_series->attachAxis(left);

    m_view = new QChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("Chart1"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setBackgroundBrush(Qt::white);
    m_view->setGeometry(8, 5, 749, 492);

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
    setTitle(harmonicsTitle(rec));
    m_amplitudes = harmonicsAmplitudes(rec);
    const auto heights = harmonicsBarHeights(m_amplitudes);
    m_bars->remove(0, m_bars->count());
    QList<qreal> values;
    values.reserve(kHarmonicCount);
    for (double h : heights)
        values.append(h);
    m_bars->append(values);
}

void HarmonicsPage::setTitle(const QString& text)
{
    m_title = text;
    // The chart renders its title as rich text, which would fold the blanks of "THD:  2.5 %".
    m_chart->setTitle(text.toHtmlEscaped().replace(QLatin1Char(' '), QStringLiteral("&nbsp;")));
}

QString HarmonicsPage::titleText() const
{
    return m_title;
}

QList<qreal> HarmonicsPage::barHeights() const
{
    QList<qreal> heights;
    for (int i = 0; i < m_bars->count(); ++i)
        heights.append(m_bars->at(i));
    return heights;
}

void HarmonicsPage::attach(DeviceModel& model)
{
    connect(&model, &DeviceModel::harmonicsChanged, this, &HarmonicsPage::showHarmonics);
    connect(this, &HarmonicsPage::channelChanged, &model, &DeviceModel::setHarmonicsChannel);
}

} // namespace kvam
