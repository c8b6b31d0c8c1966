#pragma once

#include "measure/ViewRecords.h"

#include <QtGlobal>

#include <array>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace kvam {

/// A quantity the trend can draw: a shown field of the measurement record. The angles are left
/// out; everything else the measurement page shows is here, in the page's order.
struct TrendQuantity
{
    const char* name;     ///< the field's control name on the measurement page ("L1urms")
    const char* label;    ///< its short name, as the log's columns call it ("U1"; "PFsum" for Sumpf)
    const char* unit;     ///< the shown unit (UTF-8), empty for the power factors
    const char* format;   ///< printf format of the shown number
    std::size_t netField; ///< its index in netFields()
};

inline constexpr int kTrendQuantityCount = 34;

/// The quantities in the order of netFields(), without the five angles.
const std::array<TrendQuantity, kTrendQuantityCount>& trendQuantities();
/// The quantity showing netFields()[netField], or -1 (an angle).
int trendQuantityOf(std::size_t netField);

using TrendValues = std::array<float, kTrendQuantityCount>;

/// The values of every quantity in `rec` as the page shows them (stored / scale, as singles).
TrendValues trendValues(const NetRecord& rec);

/// A point of a drawn trace: milliseconds since the epoch and the shown value.
struct TrendPoint
{
    qint64 t = 0;
    float v = 0.0f;
    bool operator==(const TrendPoint&) const = default;
};

/// A quantity's trace reduced to the pixel columns of a window: lines of points, each drawn on
/// its own. A line ends at a value that is not finite and at a break of the history.
struct TrendTrace
{
    std::vector<TrendPoint> points;
    std::vector<std::size_t> runStarts; ///< where each line begins in `points`, ascending

    std::size_t runCount() const { return runStarts.size(); }
    std::span<const TrendPoint> run(std::size_t k) const;
};

/// The measurement records of a stretch of time in arrival order: the time each arrived
/// (milliseconds since the epoch) and the shown value of every trend quantity.
///
/// It holds at most `capacity` records (24 hours at one a second by default) and drops the oldest
/// beyond that. A record whose time lies before the previous one's (the clock was set back) or
/// more than kBreakMs after it begins a new stretch: records are never reordered, and no line is
/// drawn across a break. Not-a-number and infinite values are kept as they came and drawn as gaps.
///
/// Records are kept in chunks of 4096 with, per quantity, the least and greatest finite value and
/// the count of non-finite values of every block of 16, 256 and 4096 records, so that reducing a
/// window to its pixel columns walks blocks, not records.
class TrendHistory
{
public:
    static constexpr qsizetype kDefaultCapacity = 86400;
    /// A longer silence between two records breaks the line (a page without measurements, a
    /// closed port, a log stopped and started again).
    static constexpr qint64 kBreakMs = 10000;

    explicit TrendHistory(qsizetype capacity = kDefaultCapacity);
    ~TrendHistory();
    TrendHistory(TrendHistory&&) noexcept;
    TrendHistory& operator=(TrendHistory&&) noexcept;

    void append(qint64 msecs, const TrendValues& values);
    void append(qint64 msecs, const NetRecord& rec) { append(msecs, trendValues(rec)); }
    void clear();

    qsizetype size() const { return qsizetype(m_nextSeq - m_firstSeq); }
    bool isEmpty() const { return size() == 0; }
    qsizetype capacity() const { return m_capacity; }
    /// Records dropped for the capacity since the history began.
    qint64 dropped() const { return m_firstSeq; }

    /// Record `i` (0 the oldest held).
    qint64 time(qsizetype i) const;
    float value(qsizetype i, int quantity) const;
    /// The stretches as [first, end) index ranges, oldest first.
    std::vector<std::pair<qsizetype, qsizetype>> stretches() const;
    /// The earliest and latest time held; nothing when empty.
    std::optional<std::pair<qint64, qint64>> timeSpan() const;
    /// The record whose time lies nearest `t` (the later one on a tie); nothing when empty.
    std::optional<qsizetype> nearest(qint64 t) const;

    /// Bytes held for the records and their block summaries.
    qsizetype memoryBytes() const;

    /// The pixel column of time `t` in the window [from, to] of `columns` columns: 0 .. columns - 1
    /// for a time inside, outside that range otherwise.
    static qint64 column(qint64 t, qint64 from, qint64 to, int columns);

    /// The trace of `quantity` over the window [from, to] reduced to `columns` pixel columns.
    /// Within each stretch, the records inside the window fall into their columns. Of a column,
    /// the finite values before its first non-finite one continue the line coming from the left
    /// with their least and greatest value (each once, in arrival order); those between its first
    /// and last non-finite values make a line of their own (least and greatest); those after its
    /// last non-finite value begin a new line (least and greatest). The nearest record outside the
    /// window on either side carries the line to the window's edge when it and its neighbour
    /// inside are both finite. A line of a single point is kept. Nothing for an empty window
    /// (to <= from), fewer than one column, more than 2^20 columns or a window longer than 2^42 ms.
    TrendTrace decimate(int quantity, qint64 from, qint64 to, int columns) const;
    /// The same for several quantities at once (the columns are split once), in their order.
    std::vector<TrendTrace> decimate(std::span<const int> quantities, qint64 from, qint64 to,
                                     int columns) const;

private:
    struct Chunk;
    struct Range;
    struct Scan;
    const Chunk& chunkOf(qint64 seq) const;
    /// Visits the largest whole blocks covering [from, end) in order, as visit(chunk, the chunk's
    /// first sequence number, level, block), until the visit returns true; true if it did.
    template <typename Visit> bool walkForward(qsizetype from, qsizetype end, Visit visit) const;
    Range summarize(int quantity, qsizetype from, qsizetype end) const;
    /// The summary of [from, end) unless a non-finite value lies there.
    Scan scan(int quantity, qsizetype from, qsizetype end) const;
    qsizetype firstGap(int quantity, qsizetype from, qsizetype end) const;
    qsizetype lastGap(int quantity, qsizetype from, qsizetype end) const;
    /// The first index of [from, end) whose time is not below `t` (times ascending there).
    qsizetype lowerBound(qsizetype from, qsizetype end, qint64 t) const;

    qsizetype m_capacity;
    qint64 m_firstSeq = 0; ///< sequence number of record 0
    qint64 m_nextSeq = 0;  ///< sequence number the next record takes
    qint64 m_firstChunk = 0;
    std::deque<std::unique_ptr<Chunk>> m_chunks;
    std::deque<qint64> m_breaks; ///< sequence numbers of records after a break, ascending
    qint64 m_lastTime = 0;
};

} // namespace kvam
