#include "views/HarmonicsChart.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QValueAxis>

namespace kvam {

HarmonicsChart::HarmonicsChart(QWidget* parent) : QChartView(new QChart, parent)
{
    QChart* chart = this->chart();
    chart->legend()->hide();
    chart->setBackgroundBrush(Qt::white);
    chart->setBackgroundRoundness(0);
    chart->setPlotAreaBackgroundVisible(false);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setLocalizeNumbers(true);
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPixelSize(13);
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);
    chart->setTitleBrush(QColor(0, 0, 255));

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
    chart->addSeries(m_series);

    // A bar series puts bar k (0-based) at x = k. The series is mapped through a hidden axis
    // running from -1 to 20, so bar n (1-based) lands where the visible axis, which spans the
    // same width from 0 to 21, reads n.
    auto* barAxis = new QValueAxis;
    barAxis->setObjectName(QStringLiteral("BarAxis"));
    barAxis->setRange(-1, 20);
    barAxis->setVisible(false);
    chart->addAxis(barAxis, Qt::AlignBottom);
    m_series->attachAxis(barAxis);

    auto* bottom = new QValueAxis;
    bottom->setObjectName(QStringLiteral("BottomAxis"));
    bottom->setRange(0, 21);
    bottom->setTickCount(22);
    bottom->setMinorTickCount(0);
    bottom->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(bottom, Qt::AlignBottom);

    auto* left = new QValueAxis;
    left->setObjectName(QStringLiteral("LeftAxis"));
    left->setRange(0, 100);
    left->setTickCount(11);
    left->setMinorTickCount(4);
    left->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(left, Qt::AlignLeft);
    m_series->attachAxis(left);

    setTitle(QStringLiteral("L1 U"));
    setRenderHint(QPainter::Antialiasing);
    setBackgroundBrush(Qt::white);
    resize(kSize);
}

void HarmonicsChart::showHarmonics(const HarmonicsRecord& rec)
{
    setTitle(harmonicsTitle(rec));
    const auto heights = harmonicsBarHeights(harmonicsAmplitudes(rec));
    m_bars->remove(0, m_bars->count());
    QList<qreal> values;
    values.reserve(kHarmonicCount);
    for (double h : heights)
        values.append(h);
    m_bars->append(values);
}

void HarmonicsChart::setTitle(const QString& text)
{
    m_title = text;
    // The chart renders its title as rich text, which would fold the blanks of "THD:  2.5 %".
    chart()->setTitle(text.toHtmlEscaped().replace(QLatin1Char(' '), QStringLiteral("&nbsp;")));
}

QList<qreal> HarmonicsChart::barHeights() const
{
    QList<qreal> heights;
    for (int i = 0; i < m_bars->count(); ++i)
        heights.append(m_bars->at(i));
    return heights;
}

QImage HarmonicsChart::picture(const HarmonicsRecord& rec)
{
    HarmonicsChart view;
    view.showHarmonics(rec);
    return view.grab().toImage();
}

} // namespace kvam
