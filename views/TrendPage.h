#pragma once

#include "measure/TrendHistory.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QGraphicsLineItem;
class QLabel;
class QLineSeries;
class QListWidget;
class QPushButton;
class QScatterSeries;
class QValueAxis;

namespace kvam {

class DeviceModel;
struct UserPrompts;

/// The "Trend" page: up to six quantities of the measurement record over a time window, from the
/// history recorded since the port opened or from a log file the tool wrote. One value axis per
/// unit on a time axis; a rubber band zooms into a stretch of time and "back" returns to the
/// range before; a vertical cursor reads out every curve at one instant. While paused (or zoomed)
/// the view stands still and the history keeps recording.
class TrendPage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kMaxPicked = 6;
    /// Lines drawn per curve; the shortest further pieces between gaps are drawn as dots.
    static constexpr int kMaxLines = 24;

    explicit TrendPage(QWidget* parent = nullptr);
    ~TrendPage() override;

    /// Records the model's measurements, and asks the user through `prompts`.
    void attach(DeviceModel& model, UserPrompts& prompts);
    /// The time of the measurements and of the live window's right edge; the system clock unless set.
    void setClock(std::function<qint64()> clock);

    /// A measurement taken at `msecs` joins the live history; the live view follows it.
    void record(qint64 msecs, const NetRecord& rec);

    /// The curves shown, as indices of trendQuantities(), in the order they were picked.
    QList<int> picked() const;
    /// Shows or hides a curve; false (nothing changes) for a seventh one.
    bool setPicked(int quantity, bool on);

    /// The window lengths offered (1 minute to 24 hours) and the one chosen.
    static const std::vector<qint64>& windowLengths();
    qint64 windowMs() const;
    void setWindowIndex(int index);

    enum class Source
    {
        Live,
        File
    };
    Source source() const { return m_file ? Source::File : Source::Live; }
    bool paused() const { return m_paused; }
    void setPaused(bool paused);
    /// Shows the log file `path` (a refusal is shown to the user and changes nothing); false when
    /// refused. The live history keeps recording meanwhile.
    bool openLog(const QString& path);
    /// Asks for a log file and shows it.
    void openLogClicked();
    /// Shows the live history again.
    void showLive();

    /// The time range shown: the window up to now (or to the pause, or the file's end), or the
    /// range zoomed into.
    std::pair<qint64, qint64> viewRange() const;
    /// Zooms into [from, to] as the rubber band does; the range before is kept for zoomBack().
    void zoomTo(qint64 from, qint64 to);
    /// Returns to the range before the last zoom; false when not zoomed.
    bool zoomBack();
    bool zoomed() const { return !m_zoomStack.empty(); }

    /// Places the cursor at `msecs` as a mouse over the chart does; its readout is cursorText().
    void placeCursor(qint64 msecs);
    QString cursorText() const;
    QString sourceText() const;

    /// Reduces the curves to the plot's pixel columns and sets the series and axes.
    void redraw();

    const TrendHistory& liveHistory() const { return m_live; }
    TrendHistory& liveHistory() { return m_live; }
    /// The history drawn: the live one or the file's.
    const TrendHistory& shownHistory() const;

    QChart* chart() const { return m_chart; }
    QChartView* chartView() const { return m_view; }
    /// The lines and the dots of a picked curve; empty series are lines not in use.
    QList<QLineSeries*> linesOf(int quantity) const;
    QScatterSeries* dotsOf(int quantity) const;
    /// The value axis of a unit ("V", "kW", "" for the power factors), or nullptr.
    QValueAxis* axisOf(const QString& unit) const;
    QDateTimeAxis* timeAxis() const { return m_timeAxis; }
    /// Pixel columns the last redraw reduced to.
    int columns() const { return m_columns; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Curve
    {
        int quantity = 0;
        QColor color;
        std::vector<QLineSeries*> lines;
        QScatterSeries* dots = nullptr;
    };

    void addCurve(int quantity);
    void removeCurve(int quantity);
    QValueAxis* unitAxis(const QString& unit, const QColor& color);
    void dropUnusedAxes();
    QLineSeries* lineOf(Curve& curve, std::size_t k);
    void rubberBandZoom(qint64 from, qint64 to);
    struct Readout
    {
        QString plain;
        QString html; ///< each curve's value in its colour
    };
    Readout readout() const;
    void updateTexts();
    void updateCursor();
    void updateButtons();
    qint64 now() const;
    qint64 timeAtViewX(double x) const;
    void hovered(const QPointF& viewportPos);

    std::function<qint64()> m_clock;
    UserPrompts* m_prompts = nullptr;
    TrendHistory m_live;
    std::optional<TrendHistory> m_file;
    QString m_fileName;
    qsizetype m_fileSkipped = 0;
    qsizetype m_fileFirstSkipped = 0;
    qint64 m_fileDropped = 0;

    bool m_paused = false;
    qint64 m_pausedAt = 0;
    std::optional<std::pair<qint64, qint64>> m_fixedRange; ///< zoomed into
    std::vector<std::optional<std::pair<qint64, qint64>>> m_zoomStack;
    std::optional<qint64> m_cursor;
    bool m_dirty = true;
    bool m_settingRange = false;
    int m_columns = 0;

    std::vector<Curve> m_curves;
    std::map<QString, QValueAxis*> m_axes;

    QChart* m_chart = nullptr;
    QChartView* m_view = nullptr;
    QDateTimeAxis* m_timeAxis = nullptr;
    QGraphicsLineItem* m_cursorLine = nullptr;
    QListWidget* m_quantities = nullptr;
    QComboBox* m_window = nullptr;
    QPushButton* m_pause = nullptr;
    QPushButton* m_zoomBack = nullptr;
    QPushButton* m_openLog = nullptr;
    QPushButton* m_showLive = nullptr;
    QLabel* m_cursorLabel = nullptr;
    QLabel* m_sourceLabel = nullptr;
};

} // namespace kvam
