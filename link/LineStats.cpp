#include "link/LineStats.h"

#include <algorithm>
#include <limits>

namespace kvam {

void AnswerTimes::add(std::int64_t micros)
{
    micros = std::clamp<std::int64_t>(micros, 0, std::numeric_limits<std::int32_t>::max());
    if (m_count == 0 || micros < m_least)
        m_least = micros;
    if (m_count == 0 || micros > m_most)
        m_most = micros;
    m_ring[static_cast<std::size_t>(m_count % kSamples)] = static_cast<std::int32_t>(micros);
    ++m_count;
}

std::int64_t AnswerTimes::median() const
{
    // Worked out when shown, a few times a second: an answer only stores its time.
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(m_count, kSamples));
    if (n == 0)
        return 0;
    std::array<std::int32_t, kSamples> sorted = m_ring;
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(n / 2);
    std::nth_element(sorted.begin(), middle, sorted.begin() + static_cast<std::ptrdiff_t>(n));
    return *middle;
}

CommandCounts& LineStats::row(int code)
{
    return m_commands[static_cast<std::size_t>(code >= 1 && code <= kCommandCount ? code : 0)];
}

const CommandCounts& LineStats::command(int code) const
{
    static const CommandCounts kNone;
    return code >= 1 && code <= kCommandCount ? m_commands[static_cast<std::size_t>(code)] : kNone;
}

void LineStats::requestSent(std::uint8_t code, std::int64_t now)
{
    if (m_awaiting)
        abandoned();
    ++m_totals.requests;
    ++row(code).sent;
    m_awaiting = true;
    m_code = code;
    m_since = now;
}

void LineStats::requestLeftLine(std::int64_t now)
{
    if (m_awaiting)
        m_since = now;
}

void LineStats::frameEnded(std::uint8_t code, int size, Verdict verdict, std::int64_t now)
{
    m_totals.frameBytes += static_cast<std::uint64_t>(size);
    switch (verdict) {
    case Verdict::Good:
        ++m_totals.answers;
        break;
    case Verdict::BadCrc:
        ++m_totals.crcErrors;
        break;
    case Verdict::TooShort:
        ++m_totals.tooShort;
        break;
    }
    if (!endExchange()) {
        ++m_totals.lateFrames;
        return;
    }
    CommandCounts& r = row(m_code);
    if (verdict == Verdict::BadCrc) {
        ++r.crcErrors;
        return;
    }
    // A frame of another code answers some earlier request, however it came to end this exchange.
    if (code != m_code)
        return;
    if (verdict == Verdict::Good)
        ++r.answered;
    r.times.add(now - m_since);
}

void LineStats::timedOut()
{
    if (!endExchange())
        return;
    ++m_totals.timeouts;
    ++row(m_code).timeouts;
}

void LineStats::abandoned()
{
    if (endExchange())
        ++m_totals.abandoned;
}

bool LineStats::endExchange()
{
    if (!m_awaiting)
        return false;
    m_awaiting = false;
    ++m_ended;
    return true;
}

void LineStats::bytesReceived(int count)
{
    if (count > 0)
        m_totals.bytesReceived += static_cast<std::uint64_t>(count);
}

void LineStats::strayDropped(int count)
{
    if (count > 0)
        m_totals.strayBytes += static_cast<std::uint64_t>(count);
}

void LineStats::reset(int heldBytes)
{
    m_totals = {};
    bytesReceived(heldBytes);
    m_commands = {};
    m_ended = 0;
    if (m_awaiting) {
        ++m_totals.requests;
        ++row(m_code).sent;
    }
}

} // namespace kvam
