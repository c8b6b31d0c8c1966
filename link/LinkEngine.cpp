#include "link/LinkEngine.h"

#include "link/HexDump.h"
#include "protocol/Frame.h"

#include <span>
#include <string>

namespace kvam {

namespace {
const char* const kNoPort = "Error: No communication port!\r\n";
} // namespace

LinkEngine::LinkEngine(LinkIo& io, LinkClient& client) : m_io(io), m_client(client) {}

bool LinkEngine::flag(int code) const
{
    return code >= 1 && code <= kCommandCount && m_flags[static_cast<std::size_t>(code)];
}

void LinkEngine::setFlag(int code, bool on)
{
    if (code < 1 || code > kCommandCount || m_flags[static_cast<std::size_t>(code)] == on)
        return;
    m_flags[static_cast<std::size_t>(code)] = on;
    m_io.flagsChanged();
    // A request flagged while the line is idle need not wait for the next tick.
    if (m_fast && on && !m_s.AnswerPending)
        m_io.scheduleTurn();
}

void LinkEngine::setFastRefresh(bool on)
{
    m_fast = on;
    if (on && !m_s.AnswerPending)
        m_io.scheduleTurn();
}

void LinkEngine::fastTurn()
{
    if (!m_fast || m_s.AnswerPending)
        return;
    CommTimerTimer();
    // A turn that only reached the end of the slots wrapped round: the next one starts at slot 1.
    // With nothing flagged at all the regular tick takes over.
    if (!m_s.AnswerPending)
        CommTimerTimer();
}

bool LinkEngine::SendCommand(std::uint8_t code, std::uint16_t payloadLength)
{
    if (!m_io.portOpen())
        return false;
    auto& tx = m_s.Txbuff;
    // The largest request is a RAM2 write; anything longer would not fit the buffer and is not sent.
    const std::size_t frameSize = encodeInPlace(tx, code, payloadLength);
    if (frameSize == 0)
        return false;
    m_s.TxSize = static_cast<int>(frameSize);

    dropReceived();
    m_s.AnswerPending = true;
    // The frame goes out first; the monitor shows it while it is on the line.
    const bool written = m_io.writePort(tx.data(), m_s.TxSize);
    m_io.displayCom("Command: \r\n" + hexDump(tx.data(), m_s.TxSize));
    if (!written) {
        m_io.displayCom(kNoPort);
        m_io.closePort();
        return false;
    }
    m_stats.requestSent(code, m_io.nowMicros());
    m_io.restartAnswerTimeout();
    m_io.setTxLamp(LampColor::Green);
    m_io.restartTxLampTimer();
    return true;
}

void LinkEngine::ComPort1RxChar(const std::uint8_t* bytes, int count)
{
    if (count <= 0)
        return;
    m_io.restartRecWatchdog();
    m_stats.bytesReceived(count);
    // Whatever follows a complete frame in the same event is dropped.
    const std::size_t taken = m_s.take(std::span<const std::uint8_t>(bytes, static_cast<std::size_t>(count)));
    m_stats.strayDropped(count - static_cast<int>(taken));
    if (m_s.FrameComplete)
        endFrame();
}

void LinkEngine::dropReceived()
{
    if (!m_s.FrameComplete)
        m_stats.strayDropped(m_s.Stored);
    m_s.rewind();
}

void LinkEngine::resetLineStats()
{
    m_stats.reset(m_s.FrameComplete ? 0 : m_s.Stored);
}

void LinkEngine::endFrame()
{
    const bool ok = m_s.crcOk();
    m_io.displayCom("Data received:\r\n" + hexDump(m_s.Rxbuff.data(), m_s.frameSize()) + "\r\n" +
                    (ok ? "CRC OK" : "CRC NOTOK") + "\r\n");
    // Counted before the client sees the answer: whatever it sets going belongs to the next exchange.
    using V = LineStats::Verdict;
    m_stats.frameEnded(m_s.code(), m_s.frameSize(),
                       !ok             ? V::BadCrc
                       : holdsRecord() ? V::Good
                                       : V::TooShort,
                       m_io.nowMicros());
    if (ok)
        DecodePacket();
    m_s.rewind();
    m_s.AnswerPending = false;
    m_io.stopAnswerTimeout();
    m_io.setRxLamp(LampColor::Green);
    m_io.startRxLampTimer();
    if (m_fast)
        m_io.scheduleTurn();
}

void LinkEngine::readFailed()
{
    m_io.displayCom(kNoPort);
    m_io.closePort();
}

void LinkEngine::ComPort1TxEmpty()
{
    // The answer time-out counts from the moment the request has left the line. A late
    // transmit-empty after the exchange already ended must not start a time-out of its own.
    if (m_s.AnswerPending) {
        m_io.restartAnswerTimeout();
        m_stats.requestLeftLine(m_io.nowMicros());
    }
}

void LinkEngine::TimeoutTimerTimer()
{
    m_io.stopAnswerTimeout();
    m_s.AnswerPending = false;
    m_stats.timedOut();
    m_io.setRxLamp(LampColor::Red);
    m_io.displayCom("Timeout");
    m_client.lineInterrupted();
    if (m_fast)
        m_io.scheduleTurn();
}

void LinkEngine::TxTimerTimer()
{
    m_io.setTxLamp(LampColor::White);
}

void LinkEngine::RxTimerTimer()
{
    m_io.setRxLamp(LampColor::White);
}

void LinkEngine::RecWatchdogTimer()
{
    // Stray bytes with no request outstanding must not sit at the front of the next answer.
    if (!m_s.AnswerPending)
        dropReceived();
}

void LinkEngine::CommTimerTimer()
{
    if (!m_s.Scan && !m_s.SendOnce)
        return;
    if (m_s.AnswerPending)
        return;
    m_s.SendOnce = false;

    while (m_s.CommandSlot >= 1 && m_s.CommandSlot <= kCommandCount) {
        const int k = m_s.CommandSlot++;
        const auto code = static_cast<std::uint8_t>(k);
        if (!flag(k) || !m_client.mayRequest(code))
            continue;
        const int size = requestPayloadSize(k);
        m_client.requestPayload(code, &m_s.Txbuff[3], size);
        if (SendCommand(code, static_cast<std::uint16_t>(size)))
            m_client.requestSent(code);
        return;
    }
    if (m_s.CommandSlot > kCommandCount || m_s.CommandSlot == 0)
        m_s.CommandSlot = 1;
}

void LinkEngine::SendbuttonClick()
{
    m_s.SendOnce = true;
    m_s.CommandSlot = 1;
}

void LinkEngine::ScanClick(bool checked)
{
    m_s.Scan = checked;
}

void LinkEngine::CoolPageControl1Change(const PagePolls& a)
{
    if (a.keepsPrevious)
        return;
    for (int k : kPagePolledCommands)
        setFlag(k, a.polls(k));
}

void LinkEngine::startUp()
{
    dropReceived();
    setFlag(Read_RAM2, true);
    setFlag(Read_RAM3, true);
    setFlag(Read_Version, true);
}

void LinkEngine::portOpened()
{
    // The exchange is forgotten, and so is its time-out: it would report a request nobody awaits.
    m_s.AnswerPending = false;
    m_io.stopAnswerTimeout();
    m_stats.abandoned();
    dropReceived();
    m_client.lineInterrupted();
}

void LinkEngine::portClosed()
{
    m_client.lineInterrupted();
}

bool LinkEngine::holdsRecord() const
{
    return m_s.payloadLength() >= answerRecordSize(m_s.code());
}

void LinkEngine::DecodePacket()
{
    // A record is copied whole from Rxbuff: behind a short answer it would take the bytes of older
    // frames for new ones. So a short answer is only shown, and leaves its request flag as it was,
    // so a one-shot read is asked again.
    if (!holdsRecord()) {
        m_io.displayCom("Answer too short for its record: " + std::to_string(m_s.payloadLength()) + " of " +
                        std::to_string(answerRecordSize(m_s.code())) + " bytes\r\n");
        return;
    }
    m_client.answerReceived(m_s.code(), m_s.payload());
}

} // namespace kvam
