#include "link/LinkEngine.h"

#include "link/HexDump.h"
#include "protocol/Frame.h"

#include <cstring>
#include <span>
#include <string>

namespace kvam {

namespace {
const char* const kNoPort = "Error: No communication port!\r\n";
}

LinkEngine::LinkEngine(LinkIo& io, LinkClient& client, DeviceMemory& memory)
    : m_io(io), m_client(client), m_memory(memory)
{
}

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

    m_io.displayCom("Command: \r\n" + hexDump(tx.data(), m_s.TxSize));
    m_s.RxIndex = 0;
    m_s.AnswerPending = true;
    if (!m_io.writePort(tx.data(), m_s.TxSize)) {
        m_io.displayCom(kNoPort);
        m_io.closePort();
        return false;
    }
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
    // Whatever follows a complete frame in the same event is dropped by the reader.
    if (m_s.feed(std::span<const std::uint8_t>(bytes, static_cast<std::size_t>(count))))
        endFrame();
}

void LinkEngine::endFrame()
{
    const bool ok = m_s.crcOk();
    m_io.displayCom("Data received:\r\n" + hexDump(m_s.Rxbuff.data(), m_s.frameSize()) + "\r\n" +
                    (ok ? "CRC OK" : "CRC NOTOK") + "\r\n");
    if (ok)
        DecodePacket();
    m_s.rewind();
    m_s.AnswerPending = false;
    m_io.stopAnswerTimeout();
    m_io.setRxLamp(LampColor::Green);
    m_io.startRxLampTimer();
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
    if (m_s.AnswerPending)
        m_io.restartAnswerTimeout();
}

void LinkEngine::TimeoutTimerTimer()
{
    m_io.stopAnswerTimeout();
    m_s.AnswerPending = false;
    m_io.setRxLamp(LampColor::Red);
    m_io.displayCom("Timeout");
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
        m_s.RxIndex = 0;
}

void LinkEngine::CommTimerTimer()
{
    if (!m_s.Scan && !m_s.SendOnce)
        return;
    if (m_s.AnswerPending)
        return;
    m_s.SendOnce = false;

    auto& tx = m_s.Txbuff;
    while (m_s.CommandSlot >= 1 && m_s.CommandSlot <= kCommandCount) {
        const int k = m_s.CommandSlot++;
        if (!flag(k))
            continue;
        std::uint16_t p = 0;
        switch (k) {
        case Read_State:
            tx[3] = m_s.ServiceCode;
            p = 1;
            break;
        case Write_State:
        case Read_EPdata:
            tx[3] = 0;
            p = 1;
            break;
        case Write_RAM1:
            std::memcpy(&tx[3], m_memory.ram1.data(), ram1::kSize);
            p = ram1::kSize;
            break;
        case Write_RAM2:
            std::memcpy(&tx[3], m_memory.ram2.data(), ram2::kSize);
            p = ram2::kSize;
            break;
        case Write_RAM3:
            std::memcpy(&tx[3], m_memory.ram3.data(), ram3::kSize);
            p = ram3::kSize;
            break;
        case Write_Digout:
            tx[3] = m_s.DigoutByte;
            p = 1;
            break;
        case Write_DAcalib:
            tx[3] = m_s.DAcalCode;
            p = 1;
            break;
        case Write_DAtest: {
            const float v = m_client.antestValue();
            std::memcpy(&tx[3], &v, 4);
            p = 4;
            break;
        }
        case Read_Harmonics:
            m_s.HarmChannel = m_client.GetHarmChannel();
            tx[3] = m_s.HarmChannel;
            p = 1;
            break;
        default: // the plain reads carry no payload
            break;
        }
        const bool sent = SendCommand(static_cast<std::uint8_t>(k), p);
        // A service request is spent only once it has actually gone out; with no port it waits.
        if (k == Read_State && sent)
            m_s.ServiceCode = 0;
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
    m_stateAnswerRereadsConfig = a.stateAnswerRereadsConfig;
    if (a.keepsPrevious)
        return;
    for (int k : kPagePolledCommands)
        setFlag(k, a.polls(k));
    if (!m_s.SettingsLoaded) {
        setFlag(Read_RAM2, true);
        setFlag(Read_RAM3, true);
    }
}

void LinkEngine::startUp()
{
    m_s.RxIndex = 0;
    m_s.FrameComplete = false;
    m_s.SettingsLoaded = false;
    setFlag(Read_RAM2, true);
    setFlag(Read_RAM3, true);
    setFlag(Read_Version, true);
}

void LinkEngine::portOpened()
{
    m_s.AnswerPending = false;
    m_s.RxIndex = 0;
    m_s.RxLength = 0;
    m_s.FrameComplete = false;
}

void LinkEngine::DecodePacket()
{
    // A display routine copies its whole record from Rxbuff: behind a short answer it would find
    // the bytes of older frames and show them as new. So a short answer is only shown, and leaves
    // its request flag as it was, so a one-shot read is asked again.
    const int payloadLength = m_s.RxLength - 2;
    const int recordSize = answerRecordSize(m_s.Rxbuff[0]);
    if (payloadLength < recordSize) {
        m_io.displayCom("Answer too short for its record: " + std::to_string(payloadLength) + " of " +
                        std::to_string(recordSize) + " bytes\r\n");
        return;
    }
    const std::uint8_t* payload = m_s.Rxbuff.data() + 3;
    switch (m_s.Rxbuff[0]) {
    case Read_State:
        m_client.Display_State(payload);
        // While a service code still waits to go out, this answer belongs to an earlier state
        // request (a late one): ending the request now would leave the code unsent, to go out with
        // whatever page polls the state next.
        if (m_stateAnswerRereadsConfig && m_s.ServiceCode == 0) {
            setFlag(Read_State, false);
            if (!m_s.SettingsLoaded) {
                setFlag(Read_RAM2, true);
                setFlag(Read_RAM3, true);
            }
        }
        break;
    case Read_Net:
        m_client.Display_Net(payload);
        break;
    case Read_RAM1:
        m_client.Display_RAM1(payload);
        break;
    case Write_RAM1:
        setFlag(Write_RAM1, false);
        break;
    case Read_RAM2: {
        const bool asked = flag(Read_RAM2);
        setFlag(Read_RAM2, false);
        // While a write of the record waits for its slot, the image holds what the user packed for
        // it: the meter's old record must not replace it. The read-back after the write shows
        // what the meter then holds. Nor does an answer to a read that a settings load withdrew
        // while it was on its way replace the loaded record.
        if (flag(Write_RAM2) || (!asked && m_s.SettingsLoaded))
            break;
        m_memory.ram2.copyFrom(payload); // CopyRxbuffToRam2
        m_client.Display_RAM2();
        break;
    }
    case Write_RAM2:
        setFlag(Write_RAM2, false);
        setFlag(Read_RAM2, true);
        break;
    case Read_RAM3: {
        const bool asked = flag(Read_RAM3);
        setFlag(Read_RAM3, false);
        if (flag(Write_RAM3) || (!asked && m_s.SettingsLoaded))
            break;
        m_client.Display_RAM3(payload);
        break;
    }
    case Write_RAM3:
        setFlag(Write_RAM3, false);
        setFlag(Read_RAM3, true);
        break;
    case Read_Caldata:
        m_client.Display_Caldat(payload);
        break;
    case Write_Digout:
        setFlag(Write_Digout, false);
        break;
    case Write_DAcalib:
        setFlag(Write_DAcalib, false);
        break;
    case Write_DAtest:
        setFlag(Write_DAtest, false);
        break;
    case Read_EPdata:
        m_client.Display_EPdata(payload);
        break;
    case Read_Version:
        setFlag(Read_Version, false);
        m_client.Display_Version(payload);
        break;
    case Read_Harmonics:
        m_client.Display_Harmonics(payload);
        break;
    default: // 0, Write_State and unknown codes: nothing to do
        break;
    }
}

} // namespace kvam
