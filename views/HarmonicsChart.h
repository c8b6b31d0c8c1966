#pragma once

#include "measure/ViewRecords.h"

#include <QChartView>
#include <QImage>
#include <QList>
#include <QSize>

class QBarSeries;
class QBarSet;

namespace kvam {

/// The harmonics chart: the 20 harmonics of one channel as bars, the channel and its THD in the
/// title. The harmonics page shows one; the report draws another off-screen from the model's
/// record, so the two pictures come from the same code.
class HarmonicsChart : public QChartView
{
    Q_OBJECT
public:
    /// The size the harmonics page gives the chart.
    static constexpr QSize kSize{749, 492};

    /// "L1 U" and no bars until the first record.
    explicit HarmonicsChart(QWidget* parent = nullptr);

    /// Title from the record's own channel, bars from its amplitudes.
    void showHarmonics(const HarmonicsRecord& rec);

    QString titleText() const { return m_title; }
    QList<qreal> barHeights() const; ///< the bars as drawn, bar 1 first
    QBarSeries* series() const { return m_series; }

    /// The chart of `rec` drawn at kSize without a window, as the page shows it.
    static QImage picture(const HarmonicsRecord& rec);

private:
    void setTitle(const QString& text);

    QString m_title;
    QBarSeries* m_series = nullptr;
    QBarSet* m_bars = nullptr;
};

} // namespace kvam
