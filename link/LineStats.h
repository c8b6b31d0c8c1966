#pragma once

#include "protocol/Commands.h"

#include <array>
#include <cstdint>

namespace kvam {

/// Answer times of one command: how many were taken since the last reset, the least and the most
/// of them, and the median of the last kSamples. Memory stays the same however long the line runs.
class AnswerTimes
{
public:
    static constexpr int kSamples = 256;

    void add(std::int64_t micros);
    /// Answers timed since the last reset.
    std::uint64_t count() const { return m_count; }
    /// 0 while none was timed.
    std::int64_t least() const { return m_count ? m_least : 0; }
    std::int64_t most() const { return m_count ? m_most : 0; }
    /// The median of the last kSamples times (the upper of the middle two for an even number); 0
    /// while none was timed.
    std::int64_t median() const;

private:
    std::array<std::int32_t, kSamples> m_ring{};
    std::uint64_t m_count = 0;
    std::int64_t m_least = 0;
    std::int64_t m_most = 0;
};

/// What happened to the requests of one command.
struct CommandCounts
{
    std::uint64_t sent = 0;      ///< requests written to the port
    std::uint64_t answered = 0;  ///< exchanges ended by a good frame of this command's code
    std::uint64_t timeouts = 0;  ///< exchanges ended by the answer time-out
    std::uint64_t crcErrors = 0; ///< exchanges ended by a frame with a bad CRC
    AnswerTimes times;           ///< from the end of the request to the end of its answer
};

/// The line's totals since the last reset.
struct LineTotals
{
    std::uint64_t requests = 0;      ///< requests written to the port
    std::uint64_t answers = 0;       ///< good frames holding their whole record, late ones included
    std::uint64_t timeouts = 0;      ///< exchanges ended by the answer time-out
    std::uint64_t crcErrors = 0;     ///< complete frames whose CRC did not check
    std::uint64_t tooShort = 0;      ///< good frames shorter than their command's record
    std::uint64_t lateFrames = 0;    ///< complete frames (any verdict) while no request was outstanding
    std::uint64_t abandoned = 0;     ///< exchanges cut off by opening a port while one was outstanding
    std::uint64_t bytesReceived = 0; ///< every byte the port delivered
    std::uint64_t frameBytes = 0;    ///< bytes of complete frames (any verdict)
    std::uint64_t strayBytes = 0;    ///< bytes the receiver threw away without completing a frame
};

/// The link's statistics, kept by the engine: every request, how each exchange ended, the answer
/// times per command and every received byte that was thrown away. Each exchange ends exactly once
/// (answer, CRC error, short answer, time-out, or a port opened under it), so
/// requests = answered + CRC-failed + short exchanges + time-outs + abandoned + (one if awaiting).
/// Time is in microseconds on whatever monotonic scale the caller uses.
class LineStats
{
public:
    enum class Verdict
    {
        Good,     ///< good CRC, the whole record
        BadCrc,   ///< the CRC does not check
        TooShort, ///< good CRC, shorter than its record
    };

    /// Request `code` was written to the port at `now`. A request still outstanding then counts as
    /// abandoned.
    void requestSent(std::uint8_t code, std::int64_t now);
    /// The request has left the line (transmit empty): its answer time counts from here.
    void requestLeftLine(std::int64_t now);
    /// A complete frame of `code` was taken at `now`, `size` bytes long. It ends the outstanding
    /// exchange, if any; its time is recorded when its CRC checks and its code is the request's.
    void frameEnded(std::uint8_t code, int size, Verdict verdict, std::int64_t now);
    /// The answer time-out ended the outstanding exchange; nothing when none was outstanding.
    void timedOut();
    /// A port was opened while an exchange was outstanding: it will never end.
    void abandoned();
    void bytesReceived(int count);
    /// `count` received bytes were thrown away without becoming part of a complete frame.
    void strayDropped(int count);

    /// Clears every count and time. An exchange still outstanding is kept and counted as a request
    /// of the new period, so its end is counted too; so are the `heldBytes` of a frame the receiver
    /// is still assembling, so bytesReceived = frameBytes + strayBytes + the bytes held.
    void reset(int heldBytes = 0);

    const LineTotals& totals() const { return m_totals; }
    /// Counts of command `code` (1..16); an empty row for any other code.
    const CommandCounts& command(int code) const;
    /// Whether a request is outstanding, and which.
    bool awaiting() const { return m_awaiting; }
    std::uint8_t awaitingCode() const { return m_code; }
    /// Exchanges that have ended: answered, CRC-failed, short, timed out or abandoned.
    std::uint64_t exchangesEnded() const { return m_ended; }

private:
    CommandCounts& row(int code);
    /// Ends the outstanding exchange, if there is one: false when nothing was awaited.
    bool endExchange();

    LineTotals m_totals;
    std::array<CommandCounts, kCommandCount + 1> m_commands{}; ///< [0]: codes outside 1..16
    bool m_awaiting = false;
    std::uint8_t m_code = 0;  ///< the outstanding request's code
    std::int64_t m_since = 0; ///< when it was written, or when it left the line
    std::uint64_t m_ended = 0;
};

} // namespace kvam
