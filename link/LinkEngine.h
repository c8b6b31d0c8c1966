#pragma once

#include "link/LineStats.h"
#include "link/PagePolls.h"
#include "protocol/Commands.h"
#include "protocol/FrameReader.h"

#include <array>
#include <cstdint>
#include <string>

namespace kvam {

enum class LampColor
{
    White,
    Green,
    Red
};

/// What the engine asks of the port, the timers, the lamps and the monitor. The Qt driver implements
/// it with QTimers and a SerialPort; tests implement it with plain counters.
class LinkIo
{
public:
    virtual ~LinkIo() = default;
    virtual bool portOpen() const = 0;
    /// Writes the whole request; false when the port reported an error.
    virtual bool writePort(const std::uint8_t* data, int size) = 0;
    virtual void closePort() = 0;
    virtual void restartAnswerTimeout() = 0; ///< TimeoutTimer: disable, then enable (300 ms)
    virtual void stopAnswerTimeout() = 0;
    virtual void restartRecWatchdog() = 0; ///< RecWatchdog: disable, then enable (200 ms)
    virtual void restartTxLampTimer() = 0; ///< TxTimer (150 ms)
    virtual void startRxLampTimer() = 0;   ///< RxTimer (150 ms)
    virtual void setTxLamp(LampColor) = 0;
    virtual void setRxLamp(LampColor) = 0;
    /// One block of communication-monitor text; CR LF separates its lines.
    virtual void displayCom(const std::string& block) = 0;
    /// A request flag changed (the window mirrors them in its command check boxes).
    virtual void flagsChanged() {}
    /// Fast refresh: the line is free; call fastTurn() after a gap of a few character times, so
    /// the meter sees the frames apart (a turn asked for again before then is the same turn).
    virtual void scheduleTurn() {}
    /// Microseconds on a monotonic clock: the line statistics time the answers with it.
    virtual std::int64_t nowMicros() const = 0;
};

/// The meter's side of the link: it says what each request carries and takes each answer. The
/// engine knows frames, sizes and timing; what a request value or an answer means is the client's.
class LinkClient
{
public:
    virtual ~LinkClient() = default;
    /// Fills the `size` payload bytes of request `code` (`size` from the command table) when the
    /// request is about to go out: the values sent are the ones held at that moment.
    virtual void requestPayload(std::uint8_t code, std::uint8_t* payload, int size) = 0;
    /// Request `code` has gone to the port.
    virtual void requestSent(std::uint8_t /*code*/) {}
    /// A good answer whose payload holds at least the record of its code (`DecodePacket`). The
    /// payload is Rxbuff + 3; 510 bytes are always readable there.
    virtual void answerReceived(std::uint8_t code, const std::uint8_t* payload) = 0;
    /// Whether the flagged request `code` may go out at its slot now; a request held back keeps
    /// its flag and is asked again at its next turn.
    virtual bool mayRequest(std::uint8_t /*code*/) { return true; }
    /// The line lost the meter: an answer timed out, or a port was opened or closed. Whoever
    /// answers next may be another meter.
    virtual void lineInterrupted() {}
};

/// The link's program-wide state, under the names the protocol documentation uses; the receiver's
/// part (Rxbuff, RxIndex, RxLength, FrameComplete) is the frame reader's.
struct LinkState : FrameReader
{
    std::array<std::uint8_t, kBufferSize> Txbuff{};
    bool AnswerPending = false;
    int TxSize = 0;
    int CommandSlot = 0;
    bool SendOnce = false;
    bool Scan = true;
};

/// The protocol engine: frames, receiver, time-outs, lamps, scheduler and dispatch, driven entirely
/// by the events below. It never blocks and owns no timer.
class LinkEngine
{
public:
    LinkEngine(LinkIo& io, LinkClient& client);

    LinkState& state() { return m_s; }
    const LinkState& state() const { return m_s; }

    /// Request flag of command `code` (1..16): the command's check box.
    bool flag(int code) const;
    void setFlag(int code, bool on);

    // Events.
    void CommTimerTimer(); ///< scheduler tick, every 200 ms
    /// Fast refresh: the next request goes out as soon as the last exchange has ended (an answer
    /// taken, good or not, or a time-out) or a flag is set while the line is idle, instead of at
    /// the next tick. Slot order, the one-request rule and the time-out are the tick's. Off at start.
    void setFastRefresh(bool on);
    bool fastRefresh() const { return m_fast; }
    /// The turn scheduleTurn() asked for: the scheduler's tick, taken again from slot 1 when the
    /// first one only wrapped round the slots.
    void fastTurn();
    void ComPort1RxChar(const std::uint8_t* bytes, int count); ///< bytes arrived
    void readFailed();                                         ///< the port failed while reading
    void ComPort1TxEmpty();                                    ///< the request has left the line
    void TimeoutTimerTimer();
    void TxTimerTimer();
    void RxTimerTimer();
    void RecWatchdogTimer();
    void SendbuttonClick();
    void ScanClick(bool checked);
    /// Another page was opened: the page-polled flags follow what it polls (unless it keeps the
    /// previous page's polls).
    void CoolPageControl1Change(const PagePolls& active);
    /// The window's start-up: receiver rewound, the first reads of both configuration records and
    /// of the version flagged.
    void startUp();
    /// A port was opened: an exchange cut off by a write error is forgotten, the receiver rewound.
    void portOpened();
    /// The port was closed (by the user, or after it failed).
    void portClosed();

    /// Frames and sends the payload standing at Txbuff[3]; returns whether it went to the port.
    bool SendCommand(std::uint8_t code, std::uint16_t payloadLength);
    /// Hands a good answer to the client, unless its payload is shorter than its record.
    void DecodePacket();

    /// Requests, how their exchanges ended, answer times and the received bytes thrown away.
    const LineStats& lineStats() const { return m_stats; }
    /// Starts the statistics afresh; an exchange under way and a frame being assembled are kept.
    void resetLineStats();

private:
    void endFrame();
    /// Whether the frame in the receiver holds at least the record of its code.
    bool holdsRecord() const;
    /// Rewinds the receiver, counting the bytes of an unfinished frame as thrown away.
    void dropReceived();

    LinkIo& m_io;
    LinkClient& m_client;
    LinkState m_s;
    LineStats m_stats;
    std::array<bool, kCommandCount + 1> m_flags{};
    bool m_fast = false;
};

} // namespace kvam
