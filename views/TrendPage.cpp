#include "views/TrendPage.h"

#include "device/DeviceModel.h"
#include "log/LogReader.h"
#include "platform/LanguageSwitch.h"
#include "platform/NumberFormat.h"
#include "platform/PageParts.h"
#include "platform/UserPrompts.h"
#include "texts/UiItems.h"
#include "texts/UiTexts.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QEvent>
#include <QFileInfo>
#include <QGraphicsLineItem>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScatterSeries>
#include <QScopedValueRollback>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace kvam {

namespace {

// One colour per curve, told apart on white.
const QColor kPalette[TrendPage::kMaxPicked] = {QColor(200, 0, 0),   QColor(0, 0, 210),
                                                QColor(0, 130, 0),   QColor(230, 120, 0),
                                                QColor(150, 0, 160), QColor(0, 140, 150)};

// The curves shown at start: the phase voltages and currents.
constexpr const char* kStartPicks[] = {"L1urms", "L2urms", "L3urms", "L1irms", "L2irms", "L3irms"};
constexpr int kStartWindow = 2; // 15 minutes

QString unitText(const TrendQuantity& q)
{
    return QString::fromUtf8(q.unit);
}

QString curveName(const TrendQuantity& q)
{
    const QString unit = unitText(q);
    return unit.isEmpty() ? QString::fromLatin1(q.label)
                          : QStringLiteral("%1 [%2]").arg(QString::fromLatin1(q.label), unit);
}

/// A value as the measurement page shows it, without the blanks that align it there.
QString valueText(const TrendQuantity& q, float v)
{
    return formatNumber(q.format, double(v)).trimmed();
}

QString timeText(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

/// The chart view: a horizontal rubber band zooms (QChartView's own), the right button goes back,
/// and the mouse moves the cursor.
class TrendChartView : public QChartView
{
public:
    TrendChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent)
    {
        setRubberBand(QChartView::HorizontalRubberBand);
        viewport()->setMouseTracking(true);
    }

    std::function<void(const QPointF&)> hovered;
    std::function<void()> back;

protected:
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (hovered)
            hovered(event->position());
        QChartView::mouseMoveEvent(event);
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::RightButton) {
            event->accept();
            return;
        }
        QChartView::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        // QChartView would zoom out by half; the page goes back to the range before.
        if (event->button() == Qt::RightButton) {
            if (back)
                back();
            event->accept();
            return;
        }
        QChartView::mouseReleaseEvent(event);
    }
};

/// The value range a line or point shows inside [from, to]: points inside, and where a line
/// crosses an edge of the window, its value there.
struct Extent
{
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();

    void add(double v)
    {
        min = std::min(min, v);
        max = std::max(max, v);
    }
    void addRun(std::span<const TrendPoint> run, qint64 from, qint64 to)
    {
        for (std::size_t k = 0; k < run.size(); ++k) {
            const TrendPoint& p = run[k];
            if (p.t >= from && p.t <= to)
                add(double(p.v));
            if (k == 0)
                continue;
            const TrendPoint& a = run[k - 1];
            for (const qint64 edge : {from, to}) {
                if ((a.t < edge && p.t > edge) || (a.t > edge && p.t < edge)) {
                    const double f = double(edge - a.t) / double(p.t - a.t);
                    add(double(a.v) + f * (double(p.v) - double(a.v)));
                }
            }
        }
    }
    bool empty() const { return min > max; }
};

/// An axis range of round numbers around the values, with 4 to 11 ticks at steps of 1, 2 or 5
/// times a power of ten.
struct NiceRange
{
    double min = 0.0;
    double max = 1.0;
    int ticks = 6;
    int decimals = 1; ///< what the labels need to tell the ticks apart
};

NiceRange niceRange(const Extent& e)
{
    if (e.empty())
        return {};
    double lo = e.min;
    double hi = e.max;
    if (hi - lo <= std::max(std::abs(hi), std::abs(lo)) * 1e-9) {
        const double pad = std::max(std::abs(hi) * 0.01, 0.001);
        lo -= pad;
        hi += pad;
    }
    const double raw = (hi - lo) / 5.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = magnitude * 10.0;
    for (const double f : {1.0, 2.0, 5.0})
        if (raw <= f * magnitude) {
            step = f * magnitude;
            break;
        }
    NiceRange r;
    r.min = std::floor(lo / step) * step;
    r.max = std::ceil(hi / step) * step;
    r.ticks = int(std::lround((r.max - r.min) / step)) + 1;
    r.decimals = std::clamp(int(-std::floor(std::log10(step) + 1e-9)), 0, 9);
    if (!std::isfinite(r.min) || !std::isfinite(r.max) || r.ticks < 2 || r.ticks > 12)
        return {lo, hi, 5, 3}; // beyond what steps of a double can count
    return r;
}

} // namespace

TrendPage::TrendPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet_Trend"));
    resize(761, 573);
    // The language switch sends this page a LanguageChange once the texts are set, so the texts it
    // composes follow.
    setProperty(kFollowsLanguageProperty, true);

    m_chart = new QChart;
    m_chart->setBackgroundBrush(Qt::white);
    m_chart->setBackgroundRoundness(0);
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->setLocalizeNumbers(true);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_chart->legend()->setAlignment(Qt::AlignTop);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    m_chart->legend()->setFont(small);

    m_timeAxis = new QDateTimeAxis;
    m_timeAxis->setObjectName(QStringLiteral("TrendTimeAxis"));
    m_timeAxis->setLabelsFont(small);
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    connect(m_timeAxis, &QDateTimeAxis::rangeChanged, this,
            [this](const QDateTime& min, const QDateTime& max) {
                // Only the rubber band changes the range behind the page's back: a zoom, taken once
                // QChart is done.
                if (m_settingRange)
                    return;
                const qint64 from = min.toMSecsSinceEpoch();
                const qint64 to = max.toMSecsSinceEpoch();
                QMetaObject::invokeMethod(
                    this, [this, from, to] { rubberBandZoom(from, to); }, Qt::QueuedConnection);
            });

    auto* view = new TrendChartView(m_chart, this);
    view->setObjectName(QStringLiteral("TrendChart"));
    view->setRenderHint(QPainter::Antialiasing);
    view->setBackgroundBrush(Qt::white);
    view->setGeometry(8, 5, 588, 470);
    view->hovered = [this](const QPointF& pos) { hovered(pos); };
    view->back = [this] { zoomBack(); };
    m_view = view;

    m_cursorLine = new QGraphicsLineItem(m_chart);
    m_cursorLine->setPen(QPen(QColor(60, 60, 60), 1, Qt::DashLine));
    m_cursorLine->setZValue(1000);
    m_cursorLine->hide();

    const int x = 604;
    const int w = 149;
    makeBoldCaption(this, "TrendQuantities", QRect(x, 5, w, 16));
    m_quantities = new QListWidget(this);
    m_quantities->setObjectName(QStringLiteral("TrendQuantities"));
    m_quantities->setGeometry(x, 23, w, 262);
    for (const TrendQuantity& q : trendQuantities()) {
        auto* item = new QListWidgetItem(curveName(q), m_quantities);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        item->setCheckState(Qt::Unchecked);
    }
    connect(m_quantities, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        setPicked(m_quantities->row(item), item->checkState() == Qt::Checked);
    });

    makeBoldCaption(this, "TrendWindow", QRect(x, 293, w, 16));
    m_window = new QComboBox(this);
    m_window->setObjectName(QStringLiteral("TrendWindow"));
    m_window->setGeometry(x, 311, w, 24);
    m_window->addItems(uiItems("TrendWindow"));
    m_window->setCurrentIndex(kStartWindow);
    connect(m_window, &QComboBox::currentIndexChanged, this, &TrendPage::setWindowIndex);

    m_pause = makeButton(this, "TrendPause", QRect(x, 345, w, 26));
    m_pause->setCheckable(true);
    connect(m_pause, &QPushButton::toggled, this, &TrendPage::setPaused);
    m_zoomBack = makeButton(this, "TrendZoomBack", QRect(x, 377, w, 26));
    connect(m_zoomBack, &QPushButton::clicked, this, [this] { zoomBack(); });
    m_openLog = makeButton(this, "TrendOpenLog", QRect(x, 409, w, 26));
    connect(m_openLog, &QPushButton::clicked, this, &TrendPage::openLogClicked);
    m_showLive = makeButton(this, "TrendShowLive", QRect(x, 441, w, 26));
    connect(m_showLive, &QPushButton::clicked, this, &TrendPage::showLive);

    m_cursorLabel = new QLabel(this);
    m_cursorLabel->setObjectName(QStringLiteral("TrendCursor"));
    m_cursorLabel->setGeometry(8, 481, 745, 52);
    m_cursorLabel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_cursorLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_cursorLabel->setWordWrap(true);
    m_cursorLabel->setTextFormat(Qt::RichText);
    m_cursorLabel->setAutoFillBackground(true);
    QPalette white = m_cursorLabel->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_cursorLabel->setPalette(white);

    m_sourceLabel = new QLabel(this);
    m_sourceLabel->setObjectName(QStringLiteral("TrendSource"));
    m_sourceLabel->setGeometry(8, 539, 745, 20);

    for (const char* name : kStartPicks)
        for (const TrendQuantity& q : trendQuantities())
            if (qstrcmp(q.name, name) == 0)
                setPicked(int(&q - trendQuantities().data()), true);
    updateButtons();
    updateTexts();
}

TrendPage::~TrendPage() = default;

void TrendPage::attach(DeviceModel& model, UserPrompts& prompts)
{
    m_prompts = &prompts;
    connect(&model, &DeviceModel::netChanged, this, [this](const NetRecord& rec) { record(now(), rec); });
}

void TrendPage::setClock(std::function<qint64()> clock)
{
    m_clock = std::move(clock);
}

qint64 TrendPage::now() const
{
    return m_clock ? m_clock() : QDateTime::currentMSecsSinceEpoch();
}

void TrendPage::record(qint64 msecs, const NetRecord& rec)
{
    m_live.append(msecs, rec);
    if (m_file || m_paused || m_fixedRange) {
        if (isVisible())
            updateTexts();
        return;
    }
    if (isVisible())
        redraw();
    else
        m_dirty = true;
}

void TrendPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_dirty || (!m_file && !m_paused && !m_fixedRange))
        redraw();
}

void TrendPage::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        updateTexts();
}

// ---------------------------------------------------------------------------------------------
// Curves and axes

QList<int> TrendPage::picked() const
{
    QList<int> out;
    for (const Curve& c : m_curves)
        out << c.quantity;
    return out;
}

bool TrendPage::setPicked(int quantity, bool on)
{
    if (quantity < 0 || quantity >= kTrendQuantityCount)
        return false;
    const bool shown = picked().contains(quantity);
    const bool refused = on && !shown && m_curves.size() >= std::size_t(kMaxPicked);
    if (!refused) {
        // Series and axes added or taken away may move the time axis: not a zoom.
        const QScopedValueRollback<bool> guard(m_settingRange, true);
        if (on && !shown)
            addCurve(quantity);
        else if (!on && shown)
            removeCurve(quantity);
    }
    // The list shows the picks; with six picked the others wait.
    const QSignalBlocker block(m_quantities);
    const bool full = m_curves.size() >= std::size_t(kMaxPicked);
    const QList<int> now = picked();
    for (int row = 0; row < m_quantities->count(); ++row) {
        QListWidgetItem* item = m_quantities->item(row);
        const bool isPicked = now.contains(row);
        item->setCheckState(isPicked ? Qt::Checked : Qt::Unchecked);
        item->setFlags(Qt::ItemIsUserCheckable | ((isPicked || !full) ? Qt::ItemIsEnabled : Qt::NoItemFlags));
        if (isPicked) {
            const auto it = std::find_if(m_curves.begin(), m_curves.end(),
                                         [&](const Curve& c) { return c.quantity == row; });
            item->setForeground(it->color);
        } else {
            item->setData(Qt::ForegroundRole, QVariant());
        }
    }
    if (refused)
        return false; // the list shows the six again
    m_dirty = true;
    if (isVisible())
        redraw();
    return true;
}

void TrendPage::addCurve(int quantity)
{
    const TrendQuantity& q = trendQuantities()[std::size_t(quantity)];
    Curve curve;
    curve.quantity = quantity;
    for (const QColor& c : kPalette)
        if (std::none_of(m_curves.begin(), m_curves.end(),
                         [&](const Curve& other) { return other.color == c; })) {
            curve.color = c;
            break;
        }
    m_curves.push_back(curve);
    QValueAxis* axis = unitAxis(unitText(q), curve.color);
    auto* dots = new QScatterSeries;
    dots->setMarkerSize(4);
    dots->setColor(curve.color);
    dots->setBorderColor(curve.color);
    dots->setName(curveName(q));
    m_chart->addSeries(dots);
    dots->attachAxis(m_timeAxis);
    dots->attachAxis(axis);
    for (QLegendMarker* m : m_chart->legend()->markers(dots))
        m->setVisible(false);
    m_curves.back().dots = dots;
    lineOf(m_curves.back(), 0); // the one in the legend
}

void TrendPage::removeCurve(int quantity)
{
    const auto it = std::find_if(m_curves.begin(), m_curves.end(),
                                 [&](const Curve& c) { return c.quantity == quantity; });
    if (it == m_curves.end())
        return;
    for (QLineSeries* s : it->lines) {
        m_chart->removeSeries(s);
        delete s;
    }
    m_chart->removeSeries(it->dots);
    delete it->dots;
    m_curves.erase(it);
    dropUnusedAxes();
}

QValueAxis* TrendPage::unitAxis(const QString& unit, const QColor& color)
{
    if (const auto it = m_axes.find(unit); it != m_axes.end())
        return it->second;
    auto* axis = new QValueAxis;
    axis->setObjectName(QStringLiteral("TrendAxis_") + (unit.isEmpty() ? QStringLiteral("PF") : unit));
    axis->setTitleText(unit.isEmpty() ? QStringLiteral("PF") : unit);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    axis->setLabelsFont(small);
    axis->setTitleFont(small);
    axis->setLabelsColor(color);
    axis->setTitleBrush(color);
    int left = 0;
    for (const auto& [u, a] : m_axes)
        left += a->alignment() == Qt::AlignLeft ? 1 : -1;
    m_chart->addAxis(axis, left <= 0 ? Qt::AlignLeft : Qt::AlignRight);
    m_axes.emplace(unit, axis);
    return axis;
}

void TrendPage::dropUnusedAxes()
{
    for (auto it = m_axes.begin(); it != m_axes.end();) {
        const bool used = std::any_of(m_curves.begin(), m_curves.end(), [&](const Curve& c) {
            return unitText(trendQuantities()[std::size_t(c.quantity)]) == it->first;
        });
        if (used) {
            ++it;
            continue;
        }
        m_chart->removeAxis(it->second);
        delete it->second;
        it = m_axes.erase(it);
    }
}

QLineSeries* TrendPage::lineOf(Curve& curve, std::size_t k)
{
    while (curve.lines.size() <= k) {
        const TrendQuantity& q = trendQuantities()[std::size_t(curve.quantity)];
        auto* line = new QLineSeries;
        line->setName(curveName(q));
        QPen pen(curve.color);
        pen.setWidthF(1.0);
        line->setPen(pen);
        m_chart->addSeries(line);
        line->attachAxis(m_timeAxis);
        line->attachAxis(m_axes.at(unitText(q)));
        if (!curve.lines.empty())
            for (QLegendMarker* m : m_chart->legend()->markers(line))
                m->setVisible(false);
        curve.lines.push_back(line);
    }
    return curve.lines[k];
}

QList<QLineSeries*> TrendPage::linesOf(int quantity) const
{
    for (const Curve& c : m_curves)
        if (c.quantity == quantity)
            return QList<QLineSeries*>(c.lines.begin(), c.lines.end());
    return {};
}

QScatterSeries* TrendPage::dotsOf(int quantity) const
{
    for (const Curve& c : m_curves)
        if (c.quantity == quantity)
            return c.dots;
    return nullptr;
}

QValueAxis* TrendPage::axisOf(const QString& unit) const
{
    const auto it = m_axes.find(unit);
    return it == m_axes.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------------------------------------
// What is shown

const std::vector<qint64>& TrendPage::windowLengths()
{
    static const std::vector<qint64> kLengths{60'000, 300'000, 900'000, 3'600'000, 21'600'000, 86'400'000};
    return kLengths;
}

qint64 TrendPage::windowMs() const
{
    const int i = std::clamp(m_window->currentIndex(), 0, int(windowLengths().size()) - 1);
    return windowLengths()[std::size_t(i)];
}

void TrendPage::setWindowIndex(int index)
{
    if (index < 0 || index >= int(windowLengths().size()))
        return;
    if (m_window->currentIndex() != index) {
        const QSignalBlocker block(m_window);
        m_window->setCurrentIndex(index);
    }
    // A new window shows its whole length again.
    m_zoomStack.clear();
    m_fixedRange.reset();
    redraw();
}

const TrendHistory& TrendPage::shownHistory() const
{
    return m_file ? *m_file : m_live;
}

std::pair<qint64, qint64> TrendPage::viewRange() const
{
    if (m_fixedRange)
        return *m_fixedRange;
    qint64 end = 0;
    if (m_file) {
        const auto span = m_file->timeSpan();
        end = span ? span->second : now();
    } else {
        end = m_paused ? m_pausedAt : now();
    }
    return {end - windowMs(), end};
}

void TrendPage::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    if (paused)
        m_pausedAt = viewRange().second;
    m_paused = paused;
    if (!paused) {
        // Going on follows the live window again.
        m_zoomStack.clear();
        m_fixedRange.reset();
    }
    redraw();
}

bool TrendPage::openLog(const QString& path)
{
    TrendHistory history;
    QApplication::setOverrideCursor(Qt::WaitCursor); // a day's log takes a few tenths of a second
    const LogReadResult r = readLogFile(path, history);
    QApplication::restoreOverrideCursor();
    const QString name = QFileInfo(path).fileName();
    if (!r.ok()) {
        const QString text = r.refusal == LogReadResult::Refusal::CannotOpen
                                 ? currentText("Trend.CannotOpen").arg(path, r.reason)
                                 : currentText("Trend.NotALog").arg(path);
        if (m_prompts && m_prompts->showError)
            m_prompts->showError(text);
        return false;
    }
    m_file = std::move(history);
    m_fileName = name;
    m_fileSkipped = r.skipped;
    m_fileFirstSkipped = r.firstSkippedLine;
    m_fileDropped = r.dropped;
    m_zoomStack.clear();
    m_fixedRange.reset();
    // The shortest window that holds the whole file.
    int index = int(windowLengths().size()) - 1;
    if (const auto span = m_file->timeSpan())
        for (int i = 0; i < int(windowLengths().size()); ++i)
            if (span->second - span->first <= windowLengths()[std::size_t(i)]) {
                index = i;
                break;
            }
    {
        const QSignalBlocker block(m_window);
        m_window->setCurrentIndex(index);
    }
    m_cursor.reset();
    redraw();
    return true;
}

void TrendPage::openLogClicked()
{
    if (!m_prompts || !m_prompts->chooseFile)
        return;
    FileRequest request;
    request.title = currentText("Trend.OpenDialog");
    request.filter = currentText("Trend.OpenFilter");
    const QString path = m_prompts->chooseFile(request);
    if (!path.isEmpty())
        openLog(path);
}

void TrendPage::showLive()
{
    m_file.reset();
    m_zoomStack.clear();
    m_fixedRange.reset();
    m_cursor.reset();
    redraw();
}

void TrendPage::zoomTo(qint64 from, qint64 to)
{
    if (to <= from)
        return;
    // Not zoomed yet: back goes to following the window again.
    m_zoomStack.push_back(m_fixedRange);
    m_fixedRange = std::make_pair(from, to);
    redraw();
}

void TrendPage::rubberBandZoom(qint64 from, qint64 to)
{
    // A band of less than a pixel's time is a click.
    const auto [viewFrom, viewTo] = viewRange();
    if (to - from < std::max<qint64>(1, (viewTo - viewFrom) / std::max(m_columns, 1))) {
        redraw();
        return;
    }
    zoomTo(from, to);
}

bool TrendPage::zoomBack()
{
    if (m_zoomStack.empty())
        return false;
    m_fixedRange = m_zoomStack.back();
    m_zoomStack.pop_back();
    redraw();
    return true;
}

void TrendPage::redraw()
{
    const QScopedValueRollback<bool> guard(m_settingRange, true);
    m_dirty = false;
    const auto [from, to] = viewRange();
    const QRectF plot = m_chart->plotArea();
    m_columns = plot.width() >= 16 ? int(plot.width()) : 560;
    const TrendHistory& history = shownHistory();

    // The points of each curve's lines and dots first ...
    std::map<QString, Extent> extents;
    std::vector<int> quantities;
    for (const Curve& curve : m_curves)
        quantities.push_back(curve.quantity);
    const std::vector<TrendTrace> traces = history.decimate(quantities, from, to, m_columns);
    std::vector<std::vector<QList<QPointF>>> lines(m_curves.size());
    std::vector<QList<QPointF>> dots(m_curves.size());
    for (std::size_t n = 0; n < m_curves.size(); ++n) {
        const TrendQuantity& q = trendQuantities()[std::size_t(m_curves[n].quantity)];
        const TrendTrace& trace = traces[n];
        // The longest pieces are drawn as lines, the rest (single values between gaps, and the
        // shortest pieces beyond kMaxLines) as dots.
        std::vector<std::size_t> pieces;
        for (std::size_t k = 0; k < trace.runCount(); ++k)
            if (trace.run(k).size() >= 2)
                pieces.push_back(k);
        if (pieces.size() > std::size_t(kMaxLines)) {
            std::stable_sort(pieces.begin(), pieces.end(), [&](std::size_t a, std::size_t b) {
                return trace.run(a).size() > trace.run(b).size();
            });
            pieces.resize(std::size_t(kMaxLines));
        }
        std::vector<bool> asLine(trace.runCount(), false);
        for (std::size_t k : pieces)
            asLine[k] = true;
        Extent& extent = extents[unitText(q)];
        for (std::size_t k = 0; k < trace.runCount(); ++k) {
            const auto run = trace.run(k);
            extent.addRun(run, from, to);
            QList<QPointF>* target = &dots[n];
            if (asLine[k])
                target = &lines[n].emplace_back();
            target->reserve(target->size() + qsizetype(run.size()));
            for (const TrendPoint& p : run)
                target->append(QPointF(double(p.t), double(p.v)));
        }
    }

    // ... then the series emptied, so that moving the axes does not lay out the old points again,
    // the axes set, and the new points set once.
    for (Curve& curve : m_curves) {
        for (QLineSeries* line : curve.lines)
            if (line->count() > 0)
                line->clear();
        if (curve.dots->count() > 0)
            curve.dots->clear();
    }
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
    const qint64 span = to - from;
    const QString format = span <= 900'000      ? QStringLiteral("HH:mm:ss")
                           : span <= 21'600'000 ? QStringLiteral("HH:mm")
                                                : QStringLiteral("MM-dd HH:mm");
    if (m_timeAxis->format() != format)
        m_timeAxis->setFormat(format);
    if (const int ticks = span <= 21'600'000 ? 7 : 5; m_timeAxis->tickCount() != ticks)
        m_timeAxis->setTickCount(ticks);
    for (auto& [unit, axis] : m_axes) {
        const NiceRange nice = niceRange(extents[unit]);
        // Each change lays the chart out again: only what differs is set.
        if (axis->min() != nice.min || axis->max() != nice.max)
            axis->setRange(nice.min, nice.max);
        if (axis->tickCount() != nice.ticks)
            axis->setTickCount(nice.ticks);
        // The chart localizes "%.Nf" (the user's decimal separator), not a bare "%g".
        if (const QString format = QStringLiteral("%.%1f").arg(nice.decimals); axis->labelFormat() != format)
            axis->setLabelFormat(format);
    }
    for (std::size_t n = 0; n < m_curves.size(); ++n) {
        for (std::size_t k = 0; k < lines[n].size(); ++k)
            lineOf(m_curves[n], k)->replace(lines[n][k]);
        if (!dots[n].isEmpty())
            m_curves[n].dots->replace(dots[n]);
    }

    updateCursor();
    updateTexts();
    updateButtons();
}

// ---------------------------------------------------------------------------------------------
// The cursor and the texts

qint64 TrendPage::timeAtViewX(double x) const
{
    const QRectF plot = m_chart->plotArea();
    const auto [from, to] = viewRange();
    const double f = std::clamp((x - plot.left()) / plot.width(), 0.0, 1.0);
    return from + qint64(std::llround(f * double(to - from)));
}

void TrendPage::hovered(const QPointF& viewportPos)
{
    const QPointF inChart = m_chart->mapFromScene(m_view->mapToScene(viewportPos.toPoint()));
    const QRectF plot = m_chart->plotArea();
    if (plot.width() < 1 || !plot.contains(inChart))
        return;
    placeCursor(timeAtViewX(inChart.x()));
}

void TrendPage::placeCursor(qint64 msecs)
{
    m_cursor = msecs;
    updateCursor();
    updateTexts();
}

void TrendPage::updateCursor()
{
    const QRectF plot = m_chart->plotArea();
    const auto [from, to] = viewRange();
    if (!m_cursor || *m_cursor < from || *m_cursor > to || plot.width() < 1) {
        m_cursorLine->hide();
        return;
    }
    const double x = plot.left() + double(*m_cursor - from) / double(to - from) * plot.width();
    m_cursorLine->setLine(x, plot.top(), x, plot.bottom());
    m_cursorLine->show();
}

TrendPage::Readout TrendPage::readout() const
{
    Readout r;
    if (!m_cursor) {
        r.plain = currentText("Trend.CursorHint");
        r.html = r.plain.toHtmlEscaped();
        return r;
    }
    const TrendHistory& history = shownHistory();
    const std::optional<qsizetype> at = history.nearest(*m_cursor);
    if (!at || std::abs(history.time(*at) - *m_cursor) > TrendHistory::kBreakMs) {
        r.plain = QStringLiteral("%1   %2").arg(timeText(*m_cursor), currentText("Trend.NoData"));
        r.html = r.plain.toHtmlEscaped().replace(u' ', QStringLiteral("&nbsp;"));
        return r;
    }
    r.plain = timeText(history.time(*at));
    r.html = r.plain;
    for (const Curve& c : m_curves) {
        const TrendQuantity& q = trendQuantities()[std::size_t(c.quantity)];
        const QString unit = unitText(q);
        QString part = QStringLiteral("%1 %2").arg(QString::fromLatin1(q.label),
                                                   valueText(q, history.value(*at, c.quantity)));
        if (!unit.isEmpty())
            part += u' ' + unit;
        r.plain += QStringLiteral("   ") + part;
        r.html += QStringLiteral(" &nbsp; <span style=\"color:%1\"><b>%2</b></span>")
                      .arg(c.color.name(), part.toHtmlEscaped().replace(u' ', QStringLiteral("&nbsp;")));
    }
    return r;
}

QString TrendPage::cursorText() const
{
    return readout().plain;
}

QString TrendPage::sourceText() const
{
    if (!m_file)
        return currentText(m_paused ? "Trend.Paused" : "Trend.Live").arg(m_live.size());
    QString text = currentText("Trend.File").arg(m_fileName).arg(m_file->size());
    if (m_fileSkipped > 0)
        text += currentText("Trend.Skipped").arg(m_fileSkipped).arg(m_fileFirstSkipped);
    if (m_fileDropped > 0)
        text += currentText("Trend.Dropped").arg(m_fileDropped);
    return text;
}

void TrendPage::updateTexts()
{
    m_sourceLabel->setText(sourceText());
    m_cursorLabel->setText(readout().html);
}

void TrendPage::updateButtons()
{
    m_zoomBack->setEnabled(zoomed());
    m_showLive->setEnabled(m_file.has_value());
    m_pause->setEnabled(!m_file);
    const QSignalBlocker block(m_pause);
    m_pause->setChecked(m_paused);
}

} // namespace kvam
