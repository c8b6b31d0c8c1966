#pragma once

#include "link/DeviceMemory.h"
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
};

/// The application's side of the dispatcher: the display routines and the request values that
/// only the window knows. A payload pointer is Rxbuff + 3; 510 bytes are always readable there.
class LinkClient
{
public:
    virtual ~LinkClient() = default;
    virtual void Display_State(const std::uint8_t*) {}
    virtual void Display_Net(const std::uint8_t*) {}
    virtual void Display_RAM1(const std::uint8_t*) {}
    virtual void Display_RAM2() {} ///< the RAM2 image already holds the answer
    virtual void Display_RAM3(const std::uint8_t*) {}
    virtual void Display_Caldat(const std::uint8_t*) {}
    virtual void Display_EPdata(const std::uint8_t*) {}
    virtual void Display_Version(const std::uint8_t*) {}
    virtual void Display_Harmonics(const std::uint8_t*) {}
    virtual std::uint8_t GetHarmChannel() const { return 0; }
    virtual float antestValue() const { return 0.0f; }
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
    bool SettingsLoaded = false;
    std::uint8_t ServiceCode = 0;
    std::uint8_t DigoutByte = 0;
    std::uint8_t DAcalCode = 0;
    std::uint8_t HarmChannel = 0;
};

/// The protocol engine: frames, receiver, time-outs, lamps, scheduler and dispatch, driven entirely
/// by the events below. It never blocks and owns no timer.
class LinkEngine
{
public:
    LinkEngine(LinkIo& io, LinkClient& client, DeviceMemory& memory);

    LinkState& state() { return m_s; }
    const LinkState& state() const { return m_s; }
    DeviceMemory& memory() { return m_memory; }

    /// Request flag of command `code` (1..16): the command's check box.
    bool flag(int code) const;
    void setFlag(int code, bool on);

    // Events.
    void CommTimerTimer();                                     ///< scheduler tick, every 200 ms
    void ComPort1RxChar(const std::uint8_t* bytes, int count); ///< bytes arrived
    void readFailed();                                         ///< the port failed while reading
    void ComPort1TxEmpty();                                    ///< the request has left the line
    void TimeoutTimerTimer();
    void TxTimerTimer();
    void RxTimerTimer();
    void RecWatchdogTimer();
    void SendbuttonClick();
    void ScanClick(bool checked);
    /// Another page was opened; `active` is what it polls.
    void CoolPageControl1Change(const PagePolls& active);
    /// The window's start-up: receiver rewound, no settings loaded, the first reads of both
    /// configuration records and of the version flagged.
    void startUp();
    /// A port was opened: an exchange cut off by a write error is forgotten, the receiver rewound.
    void portOpened();

    /// Frames and sends the payload standing at Txbuff[3]; returns whether it went to the port.
    bool SendCommand(std::uint8_t code, std::uint16_t payloadLength);
    void DecodePacket();

private:
    void endFrame();

    LinkIo& m_io;
    LinkClient& m_client;
    DeviceMemory& m_memory;
    LinkState m_s;
    std::array<bool, kCommandCount + 1> m_flags{};
    bool m_stateAnswerRereadsConfig = false; ///< the active page's rule for state answers
};

} // namespace kvam
