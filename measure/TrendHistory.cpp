#include "measure/TrendHistory.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace kvam {

// ---------------------------------------------------------------------------------------------
// The quantities

namespace {

/// A value at `at` taken into a running least and greatest (the earliest kept on a tie).
template <typename Range> void takeValue(Range& r, float v, qsizetype at)
{
    if (v < r.min) {
        r.min = v;
        r.imin = at;
    }
    if (v > r.max) {
        r.max = v;
        r.imax = at;
    }
}

/// A block's least and greatest, at their offsets within the block starting at `offset`.
template <typename Range, typename Summary> void takeSummary(Range& r, const Summary& s, qsizetype offset)
{
    if (s.min < r.min) {
        r.min = s.min;
        r.imin = offset + s.imin;
    }
    if (s.max > r.max) {
        r.max = s.max;
        r.imax = offset + s.imax;
    }
}

bool isAngle(const NetField& f)
{
    return std::strcmp(f.unit, "\u00b0") == 0;
}

struct QuantityTable
{
    std::array<TrendQuantity, kTrendQuantityCount> quantities{};
    std::array<int, kNetFieldCount> ofNetField{};

    QuantityTable()
    {
        int next = 0;
        for (std::size_t k = 0; k < kNetFieldCount; ++k) {
            const NetField& f = netFields()[k];
            ofNetField[k] = -1;
            if (isAngle(f))
                continue;
            ofNetField[k] = next;
            quantities[std::size_t(next++)] = {f.name, f.logName, f.unit, f.format, k};
        }
        Q_ASSERT(next == kTrendQuantityCount);
    }
};

const QuantityTable& quantityTable()
{
    static const QuantityTable table;
    return table;
}

} // namespace

const std::array<TrendQuantity, kTrendQuantityCount>& trendQuantities()
{
    return quantityTable().quantities;
}

int trendQuantityOf(std::size_t netField)
{
    return netField < kNetFieldCount ? quantityTable().ofNetField[netField] : -1;
}

TrendValues trendValues(const NetRecord& rec)
{
    TrendValues values{};
    for (const TrendQuantity& q : trendQuantities()) {
        const NetField& f = netFields()[q.netField];
        float v = rec.f32(f.offset);
        if (f.scale != 1.0f)
            v = v / f.scale;
        values[std::size_t(&q - trendQuantities().data())] = v;
    }
    return values;
}

std::span<const TrendPoint> TrendTrace::run(std::size_t k) const
{
    const std::size_t begin = runStarts[k];
    const std::size_t end = k + 1 < runStarts.size() ? runStarts[k + 1] : points.size();
    return std::span<const TrendPoint>(points).subspan(begin, end - begin);
}

// ---------------------------------------------------------------------------------------------
// The chunks and their block summaries

namespace {

constexpr int kChunkSize = 4096; // 16^3
constexpr int kBranch = 16;
constexpr int kLevels = 3;
constexpr int kLevelBase[kLevels + 1] = {0, 0, 256, 272}; // where level 1..3 start in a chunk's nodes
constexpr int kNodeCount = 273;                           // 256 + 16 + 1

constexpr int levelSize(int level)
{
    return 1 << (4 * level);
}

constexpr float kInf = std::numeric_limits<float>::infinity();

} // namespace

struct TrendHistory::Chunk
{
    /// A block's least and greatest finite value with their offsets in the chunk (the earliest on
    /// a tie), and how many of its values are not finite. Without a finite value min > max.
    struct Summary
    {
        float min;
        float max;
        quint16 imin;
        quint16 imax;
        quint16 gaps;
    };

    std::array<qint64, kChunkSize> times;
    std::array<std::array<float, kChunkSize>, kTrendQuantityCount> values;
    std::array<std::array<Summary, kNodeCount>, kTrendQuantityCount> nodes;

    const Summary& node(int quantity, int level, int n) const
    {
        return nodes[std::size_t(quantity)][std::size_t(kLevelBase[level] + n)];
    }
    bool gapAt(int quantity, int level, int n) const
    {
        return level == 0 ? !std::isfinite(values[std::size_t(quantity)][std::size_t(n)])
                          : node(quantity, level, n).gaps > 0;
    }
    /// The offset of the first (or last) non-finite value of a complete block holding one.
    int descend(int quantity, int level, int n, bool last) const
    {
        for (; level > 0; --level) {
            for (int k = 0; k < kBranch; ++k) {
                const int child = n * kBranch + (last ? kBranch - 1 - k : k);
                if (gapAt(quantity, level - 1, child)) {
                    n = child;
                    break;
                }
            }
        }
        return n;
    }
};

namespace {

/// Visits the complete blocks and single values covering [lo, hi) of a chunk, left to right:
/// `visit(level, n)`, level 0 a single value. Stops when `visit` returns true.
template <typename Visit> void forwardBlocks(int lo, int hi, Visit visit)
{
    int pos = lo;
    while (pos < hi) {
        int level = kLevels;
        while (level > 0 && (pos % levelSize(level) != 0 || pos + levelSize(level) > hi))
            --level;
        if (visit(level, pos / levelSize(level)))
            return;
        pos += levelSize(level);
    }
}

/// The same, right to left.
template <typename Visit> void backwardBlocks(int lo, int hi, Visit visit)
{
    int pos = hi;
    while (pos > lo) {
        int level = kLevels;
        while (level > 0 && (pos % levelSize(level) != 0 || pos - levelSize(level) < lo))
            --level;
        pos -= levelSize(level);
        if (visit(level, pos / levelSize(level)))
            return;
    }
}

} // namespace

struct TrendHistory::Range
{
    float min = kInf;
    float max = -kInf;
    qsizetype imin = -1;
    qsizetype imax = -1;

    bool hasFinite() const { return imin >= 0; }
};

struct TrendHistory::Scan
{
    Range range; ///< of the values before the first non-finite one, block by block
    bool gap = false;
};

TrendHistory::TrendHistory(qsizetype capacity) : m_capacity(std::max<qsizetype>(capacity, 0)) {}
TrendHistory::~TrendHistory() = default;
TrendHistory::TrendHistory(TrendHistory&&) noexcept = default;
TrendHistory& TrendHistory::operator=(TrendHistory&&) noexcept = default;

const TrendHistory::Chunk& TrendHistory::chunkOf(qint64 seq) const
{
    return *m_chunks[std::size_t(seq / kChunkSize - m_firstChunk)];
}

void TrendHistory::append(qint64 msecs, const TrendValues& values)
{
    if (m_capacity == 0)
        return;
    const qint64 seq = m_nextSeq;
    const int o = int(seq % kChunkSize);
    if (m_chunks.empty())
        m_firstChunk = seq / kChunkSize;
    if (o == 0 || m_chunks.empty())
        m_chunks.push_back(std::make_unique_for_overwrite<Chunk>());
    // The difference of two times taken as unsigned cannot overflow.
    if (!isEmpty() && (msecs < m_lastTime || quint64(msecs) - quint64(m_lastTime) > quint64(kBreakMs)))
        m_breaks.push_back(seq);
    m_lastTime = msecs;

    Chunk& c = *m_chunks.back();
    c.times[std::size_t(o)] = msecs;
    for (int q = 0; q < kTrendQuantityCount; ++q) {
        const float v = values[std::size_t(q)];
        c.values[std::size_t(q)][std::size_t(o)] = v;
        const bool finite = std::isfinite(v);
        for (int level = 1; level <= kLevels; ++level) {
            Chunk::Summary& s = c.nodes[std::size_t(q)][std::size_t(kLevelBase[level] + (o >> (4 * level)))];
            if (o % levelSize(level) == 0)
                s = {kInf, -kInf, 0, 0, 0};
            if (!finite) {
                ++s.gaps;
                continue;
            }
            if (v < s.min) {
                s.min = v;
                s.imin = quint16(o);
            }
            if (v > s.max) {
                s.max = v;
                s.imax = quint16(o);
            }
        }
    }
    ++m_nextSeq;

    if (size() > m_capacity) {
        ++m_firstSeq;
        if (m_firstSeq % kChunkSize == 0) {
            m_chunks.pop_front();
            ++m_firstChunk;
        }
        while (!m_breaks.empty() && m_breaks.front() <= m_firstSeq)
            m_breaks.pop_front();
    }
}

void TrendHistory::clear()
{
    m_chunks.clear();
    m_breaks.clear();
    m_firstSeq = m_nextSeq = m_firstChunk = 0;
    m_lastTime = 0;
}

qint64 TrendHistory::time(qsizetype i) const
{
    const qint64 seq = m_firstSeq + i;
    return chunkOf(seq).times[std::size_t(seq % kChunkSize)];
}

float TrendHistory::value(qsizetype i, int quantity) const
{
    const qint64 seq = m_firstSeq + i;
    return chunkOf(seq).values[std::size_t(quantity)][std::size_t(seq % kChunkSize)];
}

std::vector<std::pair<qsizetype, qsizetype>> TrendHistory::stretches() const
{
    std::vector<std::pair<qsizetype, qsizetype>> out;
    if (isEmpty())
        return out;
    qsizetype first = 0;
    for (qint64 b : m_breaks) {
        out.emplace_back(first, qsizetype(b - m_firstSeq));
        first = qsizetype(b - m_firstSeq);
    }
    out.emplace_back(first, size());
    return out;
}

std::optional<std::pair<qint64, qint64>> TrendHistory::timeSpan() const
{
    if (isEmpty())
        return std::nullopt;
    qint64 lo = std::numeric_limits<qint64>::max();
    qint64 hi = std::numeric_limits<qint64>::min();
    // Times ascend within a stretch.
    for (const auto& [first, end] : stretches()) {
        lo = std::min(lo, time(first));
        hi = std::max(hi, time(end - 1));
    }
    return std::make_pair(lo, hi);
}

qsizetype TrendHistory::lowerBound(qsizetype from, qsizetype end, qint64 t) const
{
    while (from < end) {
        const qsizetype mid = from + (end - from) / 2;
        if (time(mid) < t)
            from = mid + 1;
        else
            end = mid;
    }
    return from;
}

std::optional<qsizetype> TrendHistory::nearest(qint64 t) const
{
    std::optional<qsizetype> best;
    quint64 bestDistance = 0;
    auto consider = [&](qsizetype i) {
        const qint64 ti = time(i);
        const quint64 d = ti >= t ? quint64(ti) - quint64(t) : quint64(t) - quint64(ti);
        if (!best || d < bestDistance || (d == bestDistance && i > *best)) {
            best = i;
            bestDistance = d;
        }
    };
    for (const auto& [first, end] : stretches()) {
        const qsizetype j = lowerBound(first, end, t);
        if (j < end)
            consider(j);
        if (j > first)
            consider(j - 1);
    }
    return best;
}

qsizetype TrendHistory::memoryBytes() const
{
    return qsizetype(sizeof(*this) + m_chunks.size() * (sizeof(Chunk) + sizeof(void*)) +
                     m_breaks.size() * sizeof(qint64));
}

template <typename Visit> bool TrendHistory::walkForward(qsizetype from, qsizetype end, Visit visit) const
{
    qint64 seq = m_firstSeq + from;
    const qint64 stop = m_firstSeq + end;
    while (seq < stop) {
        const Chunk& c = chunkOf(seq);
        const qint64 base = seq - seq % kChunkSize;
        const int hi = int(std::min<qint64>(stop - base, kChunkSize));
        bool stopped = false;
        forwardBlocks(int(seq - base), hi,
                      [&](int level, int n) { return stopped = visit(c, base, level, n); });
        if (stopped)
            return true;
        seq = base + hi;
    }
    return false;
}

TrendHistory::Range TrendHistory::summarize(int quantity, qsizetype from, qsizetype end) const
{
    Range r;
    walkForward(from, end, [&](const Chunk& c, qint64 base, int level, int n) {
        const qsizetype offset = qsizetype(base - m_firstSeq);
        if (level == 0) {
            const float v = c.values[std::size_t(quantity)][std::size_t(n)];
            if (std::isfinite(v))
                takeValue(r, v, offset + n);
        } else {
            takeSummary(r, c.node(quantity, level, n), offset);
        }
        return false;
    });
    return r;
}

TrendHistory::Scan TrendHistory::scan(int quantity, qsizetype from, qsizetype end) const
{
    Scan out;
    out.gap = walkForward(from, end, [&](const Chunk& c, qint64 base, int level, int n) {
        if (c.gapAt(quantity, level, n))
            return true;
        const qsizetype offset = qsizetype(base - m_firstSeq);
        if (level == 0)
            takeValue(out.range, c.values[std::size_t(quantity)][std::size_t(n)], offset + n);
        else
            takeSummary(out.range, c.node(quantity, level, n), offset);
        return false;
    });
    return out;
}

qsizetype TrendHistory::firstGap(int quantity, qsizetype from, qsizetype end) const
{
    qsizetype found = end;
    walkForward(from, end, [&](const Chunk& c, qint64 base, int level, int n) {
        if (!c.gapAt(quantity, level, n))
            return false;
        found = qsizetype(base + c.descend(quantity, level, n, false) - m_firstSeq);
        return true;
    });
    return found;
}

qsizetype TrendHistory::lastGap(int quantity, qsizetype from, qsizetype end) const
{
    const qint64 start = m_firstSeq + from;
    qint64 seq = m_firstSeq + end; // one past the range
    while (seq > start) {
        const Chunk& c = chunkOf(seq - 1);
        const qint64 base = (seq - 1) - (seq - 1) % kChunkSize;
        const int lo = int(std::max<qint64>(start - base, 0));
        int found = -1;
        backwardBlocks(lo, int(seq - base), [&](int level, int n) {
            if (!c.gapAt(quantity, level, n))
                return false;
            found = c.descend(quantity, level, n, true);
            return true;
        });
        if (found >= 0)
            return qsizetype(base + found - m_firstSeq);
        seq = base + lo;
    }
    return -1;
}

qint64 TrendHistory::column(qint64 t, qint64 from, qint64 to, int columns)
{
    if (t < from)
        return -1;
    if (t > to)
        return columns;
    // (t - from) < 2^42 and columns <= 2^20 (decimate's limits): the product fits.
    return (t - from) * columns / (to - from + 1);
}

namespace {

constexpr qint64 kMaxWindowMs = qint64(1) << 42;
constexpr int kMaxColumns = 1 << 20;

/// Collects the lines of a trace.
class TraceBuilder
{
public:
    explicit TraceBuilder(TrendTrace& out) : m_out(out) {}

    /// The finite record just outside the window on the left, drawn only when the first column
    /// continues it.
    void setLeftNeighbour(std::optional<TrendPoint> p) { m_pending = p; }
    /// Points that continue the open line (or begin one).
    void extend(std::span<const TrendPoint> points)
    {
        if (!m_open) {
            begin();
            if (m_pending)
                m_out.points.push_back(*m_pending);
        }
        m_pending.reset();
        m_out.points.insert(m_out.points.end(), points.begin(), points.end());
        m_open = true;
    }
    /// A non-finite value: the open line ends.
    void gap()
    {
        m_open = false;
        m_pending.reset();
    }
    /// Points that make a line of their own, after which nothing is open.
    void alone(std::span<const TrendPoint> points)
    {
        begin();
        m_out.points.insert(m_out.points.end(), points.begin(), points.end());
        m_open = false;
    }
    /// Whether a point placed now would continue a line.
    bool continues() const { return m_open || m_pending; }

private:
    void begin() { m_out.runStarts.push_back(m_out.points.size()); }

    TrendTrace& m_out;
    std::optional<TrendPoint> m_pending;
    bool m_open = false;
};

} // namespace

std::vector<TrendTrace> TrendHistory::decimate(std::span<const int> quantities, qint64 from, qint64 to,
                                               int columns) const
{
    std::vector<TrendTrace> out(quantities.size());
    if (to <= from || columns < 1 || columns > kMaxColumns ||
        quint64(to) - quint64(from) >= quint64(kMaxWindowMs))
        return out;
    const qint64 span = to - from + 1;
    std::vector<std::pair<qsizetype, qsizetype>> cells; // the records of each column: [first, end)
    cells.reserve(std::size_t(columns));

    for (const auto& [first, end] : stretches()) {
        if (time(end - 1) < from || time(first) > to)
            continue;
        const qsizetype a = lowerBound(first, end, from);
        const qsizetype b = lowerBound(a, end, to + 1);
        cells.clear();
        for (qsizetype i = a; i < b;) {
            const qint64 c = column(time(i), from, to, columns);
            // The first time of the next column: (t - from) * columns >= (c + 1) * span.
            const qint64 next = from + ((c + 1) * span + columns - 1) / columns;
            const qsizetype j = lowerBound(i + 1, b, next);
            cells.emplace_back(i, j);
            i = j;
        }

        for (std::size_t k = 0; k < quantities.size(); ++k) {
            const int q = quantities[k];
            if (q < 0 || q >= kTrendQuantityCount)
                continue;
            TraceBuilder line(out[k]);
            auto point = [&](qsizetype i) { return TrendPoint{time(i), value(i, q)}; };
            // The least and greatest value of a range, each once, in arrival order.
            TrendPoint picked[2];
            auto extremes = [&](const Range& r) {
                int n = 0;
                if (r.hasFinite()) {
                    picked[n++] = point(std::min(r.imin, r.imax));
                    if (r.imin != r.imax)
                        picked[n++] = point(std::max(r.imin, r.imax));
                }
                return std::span<const TrendPoint>(picked, std::size_t(n));
            };
            if (a > first && std::isfinite(value(a - 1, q)))
                line.setLeftNeighbour(point(a - 1));
            for (const auto& [i, j] : cells) {
                const Scan whole = scan(q, i, j);
                if (!whole.gap) {
                    line.extend(extremes(whole.range));
                    continue;
                }
                const qsizetype g1 = firstGap(q, i, j);
                if (g1 > i)
                    line.extend(extremes(summarize(q, i, g1)));
                line.gap();
                const qsizetype g2 = lastGap(q, g1, j);
                if (const auto middle = extremes(summarize(q, g1 + 1, g2)); !middle.empty())
                    line.alone(middle);
                if (g2 + 1 < j)
                    line.extend(extremes(summarize(q, g2 + 1, j)));
            }
            if (b < end && std::isfinite(value(b, q)) && line.continues()) {
                const TrendPoint right = point(b);
                line.extend(std::span<const TrendPoint>(&right, 1));
            }
        }
    }
    return out;
}

TrendTrace TrendHistory::decimate(int quantity, qint64 from, qint64 to, int columns) const
{
    return std::move(decimate(std::span<const int>(&quantity, 1), from, to, columns).front());
}

} // namespace kvam
