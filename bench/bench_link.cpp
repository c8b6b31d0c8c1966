// Measures the link engine's cost: frame assembly and CRC check throughput, and one scheduler tick
// plus one dispatched answer as the GUI thread pays for it.

#include "link/LinkEngine.h"
#include "protocol/Frame.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace kvam;
using Clock = std::chrono::steady_clock;

namespace {

struct NullIo : LinkIo
{
    std::vector<std::uint8_t> last;
    bool portOpen() const override { return true; }
    bool writePort(const std::uint8_t* d, int n) override
    {
        last.assign(d, d + n);
        return true;
    }
    void closePort() override {}
    void restartAnswerTimeout() override {}
    void stopAnswerTimeout() override {}
    void restartRecWatchdog() override {}
    void restartTxLampTimer() override {}
    void startRxLampTimer() override {}
    void setTxLamp(LampColor) override {}
    void setRxLamp(LampColor) override {}
    void displayCom(const std::string& b) override { bytesShown += b.size(); }
    // The clock the driver reads for the line statistics.
    std::int64_t nowMicros() const override
    {
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
    }
    std::size_t bytesShown = 0;
};

struct CountingClient : LinkClient
{
    long nets = 0;
    void requestPayload(std::uint8_t, std::uint8_t* payload, int size) override
    {
        std::fill(payload, payload + size, 0);
    }
    void answerReceived(std::uint8_t code, const std::uint8_t*) override { nets += code == Read_Net; }
};

std::vector<std::uint8_t> frame(std::uint8_t code, std::size_t payload)
{
    std::vector<std::uint8_t> bytes(payload);
    for (std::size_t i = 0; i < payload; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 13);
    return Frame(code, std::move(bytes)).encode();
}

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main()
{
    NullIo io;
    CountingClient client;
    LinkEngine engine(io, client);

    // 1. Assembly and check of 319-byte frames, delivered in 16-byte reads as a serial driver does.
    const auto big = frame(Read_Net, 314);
    const int frames = 20000;
    auto t0 = Clock::now();
    for (int i = 0; i < frames; ++i)
        for (std::size_t at = 0; at < big.size(); at += 16)
            engine.ComPort1RxChar(big.data() + at,
                                  static_cast<int>(std::min<std::size_t>(16, big.size() - at)));
    const double assembly = seconds(Clock::now() - t0);
    const double mbps = frames * double(big.size()) / assembly / 1e6;
    std::printf("frame assembly + CRC + monitor text: %.1f MB/s (%d frames of %zu bytes, %.3f s; line: "
                "0.00192 MB/s)\n",
                mbps, frames, big.size(), assembly);

    // 2. One scheduler tick that sends plus the 180-byte answer dispatched.
    engine.setFlag(Read_Net, true);
    const auto answer = frame(Read_Net, 180);
    const int rounds = 50000;
    t0 = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        engine.CommTimerTimer();
        engine.CommTimerTimer();
        engine.ComPort1RxChar(answer.data(), static_cast<int>(answer.size()));
    }
    const double perRound = seconds(Clock::now() - t0) / rounds;
    std::printf("tick + send + receive + dispatch: %.2f us per exchange (%ld answers dispatched)\n",
                perRound * 1e6, client.nets);
    // The statistics counted every one of them; the assembly frames came with no request outstanding.
    const LineTotals& t = engine.lineStats().totals();
    std::printf("line statistics: %llu requests, %llu answers (%llu with no request outstanding), %llu stray "
                "bytes; Read_Net answer time median %lld us\n",
                static_cast<unsigned long long>(t.requests), static_cast<unsigned long long>(t.answers),
                static_cast<unsigned long long>(t.lateFrames), static_cast<unsigned long long>(t.strayBytes),
                static_cast<long long>(engine.lineStats().command(Read_Net).times.median()));
    const bool counted = t.requests == std::uint64_t(rounds) && t.answers == std::uint64_t(frames + rounds) &&
                         t.lateFrames == std::uint64_t(frames) && t.strayBytes == 0;
    return (mbps >= 10.0 && perRound < 1e-3 && counted) ? 0 : 1;
}
