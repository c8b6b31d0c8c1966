// The frame receiver fed byte streams in any split, with the timers, the scheduler and port events
// in between. Each control byte picks the next event:
//   0x00..0x9F  bytes: ((c & 0x1F) + 1) * ((c >> 5) + 1) of the following input bytes in one event
//   0xA0..0xBF  a well-formed frame: code, length byte L, then 2 * L payload bytes, in one event
//   0xC0..0xDF  the receive watchdog expires
//   0xE0..0xFF  by the low two bits: scheduler tick, port opened, transmit empty, answer time-out
// After every event the receiver's state must be one it can go on from, and the line statistics
// must account for every byte and every request.

#include "device/DeviceModel.h"
#include "fuzz/FuzzInput.h"
#include "link/LinkEngine.h"
#include "protocol/Frame.h"
#include "tests/LinkFakes.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace kvam;

namespace {

void checkReceiver(const LinkEngine& engine)
{
    const LinkState& s = engine.state();
    KVAM_FUZZ_CHECK(s.RxIndex >= 0 && s.RxIndex < kBufferSize);
    // Every byte received is in a complete frame, thrown away, or held; every request has ended or
    // is the one awaited.
    const LineStats& stats = engine.lineStats();
    const LineTotals& t = stats.totals();
    KVAM_FUZZ_CHECK(t.bytesReceived == t.frameBytes + t.strayBytes + std::uint64_t(s.Stored));
    KVAM_FUZZ_CHECK(t.requests == stats.exchangesEnded() + (stats.awaiting() ? 1 : 0));
    KVAM_FUZZ_CHECK(!s.FrameComplete); // a complete frame is handled within its event
    // From the third byte of a frame on, the length is the one its header bytes hold.
    if (s.RxIndex >= 3)
        KVAM_FUZZ_CHECK(s.RxLength == s.Rxbuff[1] + 256 * s.Rxbuff[2]);
}

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    test::FakeIo io;
    DeviceModel model;
    LinkEngine engine(io, model);
    model.attach(engine);
    engine.startUp();

    int events = 0;
    while (!in.empty() && ++events < 4096) {
        const std::uint8_t c = in.byte();
        if (c < 0xA0) {
            const std::size_t count = std::size_t((c & 0x1F) + 1) * std::size_t((c >> 5) + 1);
            const QByteArray chunk = in.bytes(count);
            engine.ComPort1RxChar(reinterpret_cast<const std::uint8_t*>(chunk.constData()),
                                  static_cast<int>(chunk.size()));
        } else if (c < 0xC0) {
            const std::uint8_t code = in.byte();
            const QByteArray payload = in.bytes(2 * std::size_t(in.byte()));
            const Frame sent(code, std::vector<std::uint8_t>(payload.begin(), payload.end()));
            const std::vector<std::uint8_t> frame = sent.encode();
            // What the frame class writes, it reads back.
            KVAM_FUZZ_CHECK(Frame::decode(frame) == sent);
            const bool rewound = engine.state().RxIndex == 0;
            const auto shown = io.monitor.size();
            engine.ComPort1RxChar(frame.data(), static_cast<int>(frame.size()));
            // Whatever came before, a good frame that starts a rewound receiver is received whole.
            if (rewound && frame.size() <= std::size_t(kBufferSize)) {
                KVAM_FUZZ_CHECK(engine.state().RxIndex == 0);
                KVAM_FUZZ_CHECK(std::equal(frame.begin(), frame.end(), engine.state().Rxbuff.begin()));
                KVAM_FUZZ_CHECK(io.monitor.size() > shown);
                bool received = false;
                for (auto i = shown; i < io.monitor.size(); ++i)
                    received = received || (io.monitor[i].rfind("Data received:", 0) == 0 &&
                                            endsWith(io.monitor[i], "CRC OK\r\n"));
                KVAM_FUZZ_CHECK(received);
            }
        } else if (c < 0xE0) {
            engine.RecWatchdogTimer();
        } else {
            switch (c & 3) {
            case 0:
                engine.CommTimerTimer();
                break;
            case 1:
                io.open = true;
                engine.portOpened();
                break;
            case 2:
                engine.ComPort1TxEmpty();
                break;
            default:
                engine.TimeoutTimerTimer();
                break;
            }
        }
        checkReceiver(engine);
        if (io.monitor.size() > 64)
            io.monitor.erase(io.monitor.begin(), io.monitor.end() - 8);
        if (io.writes.size() > 64)
            io.writes.clear();
    }
    return 0;
}
