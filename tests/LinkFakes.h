#pragma once

// Test doubles for the link engine: a port, timers and lamps that only record what happened.

#include "link/LinkEngine.h"
#include "protocol/Frame.h"

#include <string>
#include <vector>

namespace kvam::test {

using Bytes = std::vector<std::uint8_t>;

/// A whole frame: code, length = payload + 2, payload, CRC low byte first.
inline Bytes makeFrame(std::uint8_t code, const Bytes& payload)
{
    return Frame(code, payload).encode();
}

struct FakeIo : LinkIo
{
    bool open = true;
    bool failWrites = false;
    std::vector<Bytes> writes;
    std::vector<std::string> monitor;
    bool timeoutArmed = false;
    int timeoutRestarts = 0;
    int watchdogRestarts = 0;
    bool txTimer = false, rxTimer = false;
    LampColor tx = LampColor::White, rx = LampColor::White;
    int closes = 0;
    int flagNotices = 0;

    bool portOpen() const override { return open; }
    bool writePort(const std::uint8_t* d, int n) override
    {
        if (failWrites)
            return false;
        writes.emplace_back(d, d + n);
        return true;
    }
    void closePort() override
    {
        open = false;
        ++closes;
    }
    void restartAnswerTimeout() override
    {
        timeoutArmed = true;
        ++timeoutRestarts;
    }
    void stopAnswerTimeout() override { timeoutArmed = false; }
    void restartRecWatchdog() override { ++watchdogRestarts; }
    void restartTxLampTimer() override { txTimer = true; }
    void startRxLampTimer() override { rxTimer = true; }
    void setTxLamp(LampColor c) override { tx = c; }
    void setRxLamp(LampColor c) override { rx = c; }
    void displayCom(const std::string& b) override { monitor.push_back(b); }
    void flagsChanged() override { ++flagNotices; }
};

struct FakeClient : LinkClient
{
    std::vector<std::string> calls;
    std::uint8_t harmChannel = 0;
    float antest = 0.0f;
    Bytes lastPayload;

    void note(const char* what, const std::uint8_t* p)
    {
        calls.emplace_back(what);
        if (p)
            lastPayload.assign(p, p + 48);
    }
    void Display_State(const std::uint8_t* p) override { note("Display_State", p); }
    void Display_Net(const std::uint8_t* p) override { note("Display_Net", p); }
    void Display_RAM1(const std::uint8_t* p) override { note("Display_RAM1", p); }
    void Display_RAM2() override { note("Display_RAM2", nullptr); }
    void Display_RAM3(const std::uint8_t* p) override { note("Display_RAM3", p); }
    void Display_Caldat(const std::uint8_t* p) override { note("Display_Caldat", p); }
    void Display_EPdata(const std::uint8_t* p) override { note("Display_EPdata", p); }
    void Display_Version(const std::uint8_t* p) override { note("Display_Version", p); }
    void Display_Harmonics(const std::uint8_t* p) override { note("Display_Harmonics", p); }
    std::uint8_t GetHarmChannel() const override { return harmChannel; }
    float antestValue() const override { return antest; }
};

} // namespace kvam::test
