#pragma once

// Test doubles for the link engine: a port, timers and lamps that only record what happened.

#include "link/LinkEngine.h"
#include "protocol/Frame.h"

#include <algorithm>
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
    int turns = 0;        ///< fast refresh: turns asked for
    std::int64_t now = 0; ///< microseconds, moved on by the test

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
    void scheduleTurn() override { ++turns; }
    std::int64_t nowMicros() const override { return now; }
};

/// A client that sends zeros and notes which display routine each good answer would reach.
struct FakeClient : LinkClient
{
    std::vector<std::string> calls;
    Bytes lastPayload;

    void requestPayload(std::uint8_t, std::uint8_t* payload, int size) override
    {
        std::fill(payload, payload + size, std::uint8_t{0});
    }
    void answerReceived(std::uint8_t code, const std::uint8_t* p) override
    {
        static const char* const display[] = {
            nullptr,        "Display_State", nullptr,          "Display_Net",     "Display_RAM1",     nullptr,
            "Display_RAM2", nullptr,         "Display_RAM3",   nullptr,           "Display_Caldat",   nullptr,
            nullptr,        nullptr,         "Display_EPdata", "Display_Version", "Display_Harmonics"};
        if (code > 16 || !display[code])
            return;
        calls.emplace_back(display[code]);
        lastPayload.assign(p, p + 48);
    }
};

/// Bytes arriving from the port in one event.
inline void feed(LinkEngine& engine, const Bytes& bytes)
{
    engine.ComPort1RxChar(bytes.data(), static_cast<int>(bytes.size()));
}

/// The codes of the requests written to the port, in order.
inline std::vector<int> sentCodes(const FakeIo& io)
{
    std::vector<int> codes;
    for (const Bytes& w : io.writes)
        codes.push_back(w[0]);
    return codes;
}

/// Ticks, answering every request at once with an empty answer of its own code.
inline void tickAnswered(LinkEngine& engine, FakeIo& io, int ticks)
{
    for (int i = 0; i < ticks; ++i) {
        const auto before = io.writes.size();
        engine.CommTimerTimer();
        if (io.writes.size() != before)
            feed(engine, makeFrame(io.writes.back()[0], {}));
    }
}

} // namespace kvam::test
