// The virtual meter's receiver fed byte streams in any split, with well-formed requests and
// receiver resets in between. Each control byte picks the next event:
//   0x00..0xBF  (c & 0x3F) + 1 of the following input bytes in one write
//   0xC0..0xDF  a well-formed request: a code byte (taken modulo 16, plus 1), then as many payload
//               bytes as the command table gives that request, in one write
//   0xE0..0xFF  the line was silent too long: the receiver forgets a partial request
// After every event: each answer is one well-formed frame of the code of its request, whose record
// has the size the command table gives; the receiver never holds more than one request's worth of
// bytes; a well-formed request reaching an idle receiver is answered.

#include "fuzz/FuzzInput.h"
#include "meter/VirtualMeter.h"
#include "protocol/Commands.h"
#include "protocol/Frame.h"
#include "records/Records.h"

#include <span>
#include <vector>

using namespace kvam;

namespace {

// The longest request: a RAM2 image.
constexpr qsizetype kLongestRequest = frameSizeFor(lengthFieldFor(int(ram2::kSize)));

void checkAnswers(const std::vector<MeterAnswer>& answers)
{
    for (const MeterAnswer& a : answers) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(a.bytes.constData());
        const std::span<const std::uint8_t> all(bytes, std::size_t(a.bytes.size()));
        const auto frame = Frame::decode(all);
        KVAM_FUZZ_CHECK(frame.has_value());
        KVAM_FUZZ_CHECK(frame->encode().size() == all.size());
        KVAM_FUZZ_CHECK(frame->code() == a.code);
        // A read answers with its record, a write with a one-byte acknowledgement.
        const int record = answerRecordSize(a.code);
        KVAM_FUZZ_CHECK(int(frame->payload().size()) == (record > 0 ? record : 1));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    // A clock that stands still: the receiver is under test, not the network model.
    VirtualMeter meter({}, [] { return 1000.0; });

    int events = 0;
    while (!in.empty() && ++events < 4096) {
        const std::uint8_t c = in.byte();
        if (c < 0xC0) {
            const auto answers = meter.receive(in.bytes(std::size_t(c & 0x3F) + 1));
            checkAnswers(answers);
        } else if (c < 0xE0) {
            const auto code = static_cast<std::uint8_t>(in.byte() % kCommandCount + 1);
            const QByteArray payload = in.bytes(std::size_t(requestPayloadSize(code)));
            std::vector<std::uint8_t> body(payload.begin(), payload.end());
            body.resize(std::size_t(requestPayloadSize(code)), 0);
            const std::vector<std::uint8_t> frame = Frame(code, std::move(body)).encode();
            const bool idle = meter.pendingBytes() == 0;
            const int before = meter.stats().requests;
            const auto answers = meter.receive(
                QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size())));
            checkAnswers(answers);
            if (idle) {
                KVAM_FUZZ_CHECK(answers.size() == 1 && answers.front().code == code);
                KVAM_FUZZ_CHECK(meter.stats().requests == before + 1);
                KVAM_FUZZ_CHECK(meter.pendingBytes() == 0);
            }
        } else {
            meter.resetReceiver();
            KVAM_FUZZ_CHECK(meter.pendingBytes() == 0);
        }
        KVAM_FUZZ_CHECK(meter.pendingBytes() < kLongestRequest);
    }
    return 0;
}
