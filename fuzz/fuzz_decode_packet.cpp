// Every answer decoder, reached as the line reaches it: the fuzz payload wrapped into a frame with
// a good CRC, under any command code and any payload length from 0 to 513, received by the engine
// and dispatched to a real DeviceModel; then every text and figure the pages derive from the
// records is computed. Input: code, payload length (two bytes, taken modulo 514), the request
// flags and settings state the answer meets (one byte), then the payload bytes (repeated when
// there are fewer).
//
// Checked: a frame too long for the buffer is never dispatched; an answer shorter than its record
// changes nothing; a decoded answer puts exactly its first record-size bytes into exactly its own
// record or image, and only there; the version rule speaks only for version answers.

#include "device/DeviceModel.h"
#include "fuzz/FuzzInput.h"
#include "link/LinkEngine.h"
#include "measure/PhasorGeometry.h"
#include "measure/ViewRecords.h"
#include "protocol/Commands.h"
#include "protocol/Frame.h"
#include "records/Records.h"
#include "tests/LinkFakes.h"
#include "tests/ModelAccess.h"

#include <cstring>
#include <vector>

using namespace kvam;

namespace {

struct Snapshot
{
    DeviceMemory memory;
    StateRecord state;
    NetRecord net;
    VersionRecord version;
    EpRecord ep;
    CaldataRecord caldata;
    HarmonicsRecord harmonics;

    explicit Snapshot(const DeviceModel& m)
        : memory(m.memory()), state(m.state()), net(m.net()), version(m.version()), ep(m.ep()),
          caldata(m.caldata()), harmonics(m.harmonics())
    {
    }
    bool operator==(const Snapshot& o) const
    {
        return memory.ram1 == o.memory.ram1 && memory.ram2 == o.memory.ram2 && memory.ram3 == o.memory.ram3 &&
               state == o.state && net == o.net && version == o.version && ep == o.ep &&
               caldata == o.caldata && harmonics == o.harmonics;
    }
};

template <std::size_t N> void take(ByteImage<N>& record, const QByteArray& payload)
{
    record.copyFrom(reinterpret_cast<const std::uint8_t*>(payload.constData()));
}

// The record an answer of `code` carries, from the record tables themselves.
std::size_t recordSizeOf(int code)
{
    switch (code) {
    case Read_State:
        return state::kSize;
    case Read_Net:
        return net::kSize;
    case Read_RAM1:
        return ram1::kSize;
    case Read_RAM2:
        return ram2::kSize;
    case Read_RAM3:
        return ram3::kSize;
    case Read_Caldata:
        return caldata::kSize;
    case Read_EPdata:
        return ep::kSize;
    case Read_Version:
        return version::kSize;
    case Read_Harmonics:
        return harmonics::kSize;
    default:
        return 0;
    }
}

// Everything the pages make of the records; the results only have to exist.
void deriveTexts(const DeviceModel& m, std::uint8_t zoom)
{
    volatile qsizetype sink = 0;
    for (const QString& t : netFieldTexts(m.net()))
        sink = sink + t.size();
    for (const EnergyField& f : energyFields())
        sink = sink + energyFieldText(m.memory().ram1, f).size();
    sink = sink + threePhaseArrangement(m.memory().ram2);
    sink = sink + staticErrors(m.state()) + dynamicErrors(m.state()) + errorMask(m.state()) +
           ioBits(m.state()) + errorLedLit(m.state()) + ioActive(m.state(), kIoInput3);
    sink = sink + versionMajor(m.version()) + versionText(m.version()).size() +
           versionDateText(m.version()).size() + manufactureYear(m.version()) +
           manufactureMonth(m.version()) + factoryNumberText(m.version()).size() +
           unsupportedVersionMessage(m.version()).size();
    KVAM_FUZZ_CHECK(versionDateText(m.version()).size() <= 12);
    sink = sink + epPrevious(m.ep()) + epEstimated(m.ep()) + epEnabled(m.ep()) + epCurrent(m.ep()) +
           epElapsed(m.ep());
    sink = sink + harmonicsChannel(m.harmonics()) + harmonicsTitle(m.harmonics()).size() +
           harmonicsChannelTitle(harmonicsChannel(m.harmonics())).size();
    for (double h : harmonicsBarHeights(harmonicsAmplitudes(m.harmonics())))
        sink = sink + (h >= 0);
    sink = sink + static_cast<qsizetype>(harmonicsThd(m.harmonics()) > 0);
    // The phasor diagram's arithmetic for the new measurement, at a zoom between 0.001 and 100.
    const float zoomU = 0.001f + float(zoom & 0x0F) * 6.6f;
    const float zoomI = 0.001f + float(zoom >> 4) * 6.6f;
    const PhasorResult r = computePhasor(makePhasorInput(m.net(), m.caldata(), zoomU, zoomI), 400);
    sink = sink + r.radii.R + r.positiveOrder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint8_t code = in.byte();
    const int payloadSize = in.u16() % (kBufferSize + 1);
    const std::uint8_t pending = in.byte();
    QByteArray source = in.rest();
    if (source.isEmpty())
        source = QByteArray(1, '\0');
    QByteArray payload;
    while (payload.size() < payloadSize)
        payload += source;
    payload.truncate(payloadSize);

    test::FakeIo io;
    DeviceModel model;
    LinkEngine engine(io, model);
    model.attach(engine);
    int refusals = 0;
    QObject::connect(&model, &DeviceModel::unsupportedDevice, [&refusals](const VersionRecord& version) {
        KVAM_FUZZ_CHECK(!unsupportedVersionMessage(version).isEmpty());
        ++refusals;
    });
    // Images and records as an earlier exchange left them, and older bytes behind the frame.
    test::testMemory(model).ram1.fill(0x11);
    test::testMemory(model).ram2.fill(0x22);
    test::testMemory(model).ram3.fill(0x33);
    engine.state().Rxbuff.fill(0xA5);
    engine.setFlag(Write_RAM1, pending & 1);
    engine.setFlag(Write_RAM2, pending & 2);
    engine.setFlag(Write_RAM3, pending & 4);
    test::testRequests(model).SettingsLoaded = pending & 8;
    for (int k : {Read_RAM2, Read_RAM3, Read_Version})
        engine.setFlag(k, true);
    const Snapshot before(model);

    const std::vector<std::uint8_t> frame =
        Frame(code, std::vector<std::uint8_t>(payload.begin(), payload.end())).encode();
    engine.ComPort1RxChar(frame.data(), static_cast<int>(frame.size()));

    const std::size_t recordSize = recordSizeOf(code);
    KVAM_FUZZ_CHECK(answerRecordSize(code) == int(recordSize));
    Snapshot expected = before;
    const bool fits = frame.size() <= std::size_t(kBufferSize);
    if (!fits) {
        // It never completes: the receiver waits at its last cell for a time-out.
        KVAM_FUZZ_CHECK(engine.state().RxIndex == kBufferSize - 1);
    } else {
        KVAM_FUZZ_CHECK(engine.state().RxIndex == 0);
    }
    if (fits && std::size_t(payloadSize) >= recordSize) {
        switch (code) {
        case Read_State:
            take(expected.state, payload);
            break;
        case Read_Net:
            take(expected.net, payload);
            break;
        case Read_RAM1:
            if (!(pending & 1))
                take(expected.memory.ram1, payload);
            break;
        case Read_RAM2:
            if (!(pending & 2))
                take(expected.memory.ram2, payload);
            break;
        case Read_RAM3:
            if (!(pending & 4))
                take(expected.memory.ram3, payload);
            break;
        case Read_Caldata:
            take(expected.caldata, payload);
            break;
        case Read_EPdata:
            take(expected.ep, payload);
            break;
        case Read_Version:
            take(expected.version, payload);
            break;
        case Read_Harmonics:
            take(expected.harmonics, payload);
            break;
        default:
            break;
        }
    }
    KVAM_FUZZ_CHECK(Snapshot(model) == expected);
    const bool versionDecoded = fits && code == Read_Version && std::size_t(payloadSize) >= recordSize;
    KVAM_FUZZ_CHECK(refusals == ((versionDecoded && !versionSupported(model.version())) ? 1 : 0));
    // A one-shot read answered in full is done; one answered short is asked again. A write is
    // done once acknowledged, and a configuration write is read back.
    const bool decoded = fits && std::size_t(payloadSize) >= recordSize;
    if (code == Read_RAM2 || code == Read_RAM3 || code == Read_Version)
        KVAM_FUZZ_CHECK(engine.flag(code) == !decoded);
    if (fits && (code == Write_RAM1 || code == Write_RAM2 || code == Write_RAM3))
        KVAM_FUZZ_CHECK(!engine.flag(code) && (code == Write_RAM1 || engine.flag(code - 1)));

    deriveTexts(model, pending);
    return 0;
}
