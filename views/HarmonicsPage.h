#pragma once

#include "measure/ViewRecords.h"
#include "views/HarmonicsChart.h"

#include <QList>
#include <QWidget>

class QRadioButton;

namespace kvam {

class DeviceModel;

/// The "Harmonikusok" page: the 20 harmonics of one channel as bars, its THD in the title, and
/// the choice of the channel to ask the meter for.
class HarmonicsPage : public QWidget
{
    Q_OBJECT
public:
    explicit HarmonicsPage(QWidget* parent = nullptr);
    /// Shows the model's harmonics answers and tells it the channel to ask for.
    void attach(DeviceModel& model);

    /// The channel code to request: L1 U 0, L2 U 1, L3 U 2, L1 I 3, L2 I 4, otherwise 5.
    int GetHarmChannel() const;

    /// Title from the answer's own channel (not the selection), bars from its amplitudes.
    void showHarmonics(const HarmonicsRecord& rec);

    QString titleText() const { return m_view->titleText(); }
    QList<qreal> barHeights() const { return m_view->barHeights(); } ///< the bars as drawn, bar 1 first
    const HarmonicAmplitudes& amplitudes() const { return m_amplitudes; }
    HarmonicsChart* chartView() const { return m_view; }
    QBarSeries* series() const { return m_view->series(); }

signals:
    /// Another channel was chosen; `code` as GetHarmChannel gives it.
    void channelChanged(int code);

private:
    QRadioButton* addRadio(const char* name, QWidget* parent, int index);

    HarmonicsChart* m_view = nullptr;
    HarmonicAmplitudes m_amplitudes{};
    QRadioButton* m_l1u = nullptr;
    QRadioButton* m_l2u = nullptr;
    QRadioButton* m_l3u = nullptr;
    QRadioButton* m_l1i = nullptr;
    QRadioButton* m_l2i = nullptr;
    QRadioButton* m_l3i = nullptr;
};

} // namespace kvam
