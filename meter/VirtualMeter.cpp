#include "meter/VirtualMeter.h"

#include "protocol/Frame.h"
#include "protocol/ServiceCodes.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <numbers>
#include <span>
#include <vector>

namespace kvam {

namespace {

constexpr double kPi = std::numbers::pi;

static_assert(kHarmonicBars == harmonics::Amplitude.count);

// The four energy counters of RAM1 (EP+, EP-, EQ+, EQ-), each L1, L2, L3, sum.
constexpr Field<ram1::Record, FieldType::i64> kCounters[4] = {ram1::EPplus, ram1::EPminus, ram1::EQplus,
                                                              ram1::EQminus};

// The Net record's fields of one phase.
using NetFloat = Field<net::Record, FieldType::f32>;
struct NetPhase
{
    NetFloat urms, irms, p, q, s, pf, fi, f;
};
constexpr NetPhase kNetPhase[3] = {
    {net::L1urms, net::L1irms, net::L1p, net::L1q, net::L1s, net::L1pf, net::L1fi, net::L1f},
    {net::L2urms, net::L2irms, net::L2p, net::L2q, net::L2s, net::L2pf, net::L2fi, net::L2f},
    {net::L3urms, net::L3irms, net::L3p, net::L3q, net::L3s, net::L3pf, net::L3fi, net::L3f},
};
// THD per harmonics channel code: L1 U, L2 U, L3 U, L1 I, L2 I, L3 I.
constexpr NetFloat kNetThd[6] = {net::L1uthd, net::L2uthd, net::L3uthd,
                                 net::L1ithd, net::L2ithd, net::L3ithd};

// Error bits of the state record.
constexpr std::uint32_t bit(int n)
{
    return 1u << n;
}
constexpr int kDipBit = 0, kDropoutBit = 3, kRiseBit = 6, kOverCurrentBit = 9;
constexpr std::uint32_t kPhaseOrderError = bit(12), kFrequencyError = bit(13), kExcessReactive = bit(14),
                        kDemandExceeded = bit(17);

// The input stage's own DC offsets, as the AD converter sees them (L1 U, L1 I, L2 U, L2 I, L3 U, L3 I).
constexpr int kHardwareOffset[6] = {4, -3, 2, -5, 3, -2};

// Longest stretch of missed time the energy counters catch up on: a clock that jumps by months must
// not keep the meter busy integrating.
constexpr double kMaxCatchUpS = 7 * 24 * 3600.0;

template <std::size_t N> QByteArray payloadOf(const ByteImage<N>& image)
{
    return QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(N));
}

QByteArray answerFrame(std::uint8_t code, const QByteArray& payload)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(payload.constData());
    const std::vector<std::uint8_t> frame =
        Frame(code, std::vector<std::uint8_t>(p, p + payload.size())).encode();
    return QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size()));
}

std::uint32_t toU32(double v)
{
    if (!(v > 0.0))
        return 0;
    if (v >= 4294967295.0)
        return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(std::lround(v));
}

int floorMod2(double x)
{
    const auto n = static_cast<long long>(std::floor(x));
    return static_cast<int>(((n % 2) + 2) % 2);
}

} // namespace

VirtualMeter::Ram2Image VirtualMeter::factoryRam2()
{
    using namespace ram2;
    Ram2Image r;
    for (std::size_t k = 0; k < Ratio.count; ++k)
        set(r, Ratio, k, 1.0f);
    set(r, Zajzar, 0.01f);
    for (std::size_t k = 0; k < 4; ++k) {
        set(r, DoutLowLimit, k, 0.0f);
        set(r, DoutHighLimit, k, 100.0f);
        set(r, DoutHysteresis, k, 1.0f);
        set(r, AnValueFrom, k, 0.0f);
        set(r, AnValueTo, k, 100.0f);
        set(r, PWMScale, k, 1.0f);
        set(r, DoutImpEgyenertek, k, 1);
        set(r, DoutImpSzelesseg, k, 200);
        set(r, DoutImpSzunet, k, 200);
        set(r, PWMFrommA, k, 4000);
        set(r, PWMTomA, k, 20000);
        set(r, PWMErrormA, k, 20100);
        set(r, AnAssigned, k, 0);
        set(r, PWMFrom, k, 16000);
        set(r, PWMTo, k, 56000);
        set(r, PWMError, k, 58000);
        set(r, PWMMin, k, 10000);
        set(r, PWMMax, k, 60000);
        set(r, PWMType, k, 1); // 4-20 mA
        set(r, PWMMode, k, 1); // limited
    }
    set(r, LedErrorMask, 0x000FFFFFu);
    const std::uint32_t maxEP[4] = {5000000u, 5000000u, 4000000u, 3000000u};
    for (std::size_t k = 0; k < MaxEP.count; ++k)
        set(r, MaxEP, k, maxEP[k]);
    set(r, IntegrationLength, 2);
    set(r, Elrendezes, 0);
    set(r, Energy_sampletime, 10);
    set(r, MB01Timeout, 100);
    set(r, MB01Type, 0);
    set(r, MB01Addr, 1);
    set(r, MB01Baud, 5); // 9600
    set(r, MB01Parity, 2);
    set(r, MB01Stopbits, 0);
    set(r, MB01Delay, 0);
    set(r, HarmEnabled, 0x3F);
    return r;
}

VirtualMeter::Ram2Image VirtualMeter::installedRam2()
{
    using namespace ram2;
    Ram2Image r = factoryRam2();
    set(r, RecordHead, 0, 0x5A);
    set(r, RecordHead, 1, 0x02);
    // 400 V network, 200/5 A current transformers.
    for (std::size_t k = 0; k < Ratio.count; ++k)
        set(r, Ratio, k, k % 2 == 0 ? 1.0f : 40.0f);
    set(r, Fazistolas, 0, 0.15f);
    set(r, Fazistolas, 1, -0.1f);
    set(r, Fazistolas, 2, 0.05f);
    set(r, Zajzar, 0.02f); // 2 %
    // Output 1: energy pulses of SUM EP+; output 2: watching L1 Urms within 207..253 V.
    set(r, DoutFunction, 0, 1);
    set(r, DoutAssign, 0, 12);
    set(r, DoutImpEgyenertek, 0, 10);
    set(r, DoutImpSzelesseg, 0, 100);
    set(r, DoutImpSzunet, 0, 100);
    set(r, DoutFunction, 1, 3);
    set(r, DoutAssign, 1, 3);
    set(r, DoutLimitType, 1, 3);
    set(r, DoutLowLimit, 1, 207.0f);
    set(r, DoutHighLimit, 1, 253.0f);
    set(r, DoutHysteresis, 1, 2.0f);
    set(r, DoutPolarity, 1, 1);
    set(r, DoutErrormask1, 0, 0x0003F000u);
    set(r, DoutErrormask1, 1, 0x000001FFu);
    // Analog outputs: SUM P over 0..100 kW, L1 Urms over 0..300 V.
    set(r, AnAssigned, 0, 28);
    set(r, AnValueTo, 0, 100000.0f);
    set(r, AnAssigned, 1, 4);
    set(r, AnValueTo, 1, 300.0f);
    set(r, PWMMode, 1, 3);
    // Demand limiting with an external synchronisation signal and the internal tariff.
    set(r, DinPolarity, 0x0060);
    set(r, Energy_sampletime, 15);
    set(r, LedErrorMask, 0x000FF1FFu);
    set(r, MB01Addr, 17);
    set(r, MB01Baud, 7); // 19200
    set(r, MB01Delay, 20);
    set(r, HarmEnabled, 0x3F);
    return r;
}

VirtualMeter::Ram3Image VirtualMeter::factoryRam3(std::uint32_t factoryNumber, std::uint8_t year,
                                                  std::uint8_t month)
{
    using namespace ram3;
    Ram3Image r;
    set(r, GyartasiEv, year);
    set(r, GyartasiHo, month);
    set(r, Gyartasiszam, factoryNumber);
    set(r, Modulconfig, 2 + 16 * 1); // "2 kimenet 3 bemenet", "2 analóg kimenet"
    for (std::size_t k = 0; k < 4; ++k) {
        set(r, PWMPoint1mA, k, 4000);
        set(r, PWMPoint2mA, k, 20000);
        set(r, TimeBaseCorrection, k, 1.0f);
    }
    set(r, Adhist, 150);
    const std::int16_t offsets[6] = {4, -3, 2, -5, 3, -2};
    const std::uint16_t adrms[6] = {11600, 9300, 11620, 9280, 11590, 9310};
    const float calrms[6] = {230.0f, 5.0f, 230.0f, 5.0f, 230.0f, 5.0f};
    const float delay[6] = {0.12f, -0.05f, 0.08f, -0.03f, 0.10f, -0.07f};
    for (std::size_t k = 0; k < 6; ++k) {
        set(r, Offset, k, offsets[k]);
        set(r, ADrms, k, adrms[k]);
        set(r, Calrms, k, calrms[k]);
        set(r, RMSCoeff, k, calrms[k] / float(adrms[k]));
        set(r, Delay, k, delay[k]);
    }
    for (std::size_t k = 0; k < TeljCoeff.count; ++k)
        set(r, TeljCoeff, k,
            (calrms[2 * k] / float(adrms[2 * k])) * (calrms[2 * k + 1] / float(adrms[2 * k + 1])));
    return r;
}

VirtualMeter::VirtualMeter(VirtualMeterConfig config, Clock clock)
    : m_config(std::move(config)), m_clock(std::move(clock)), m_rng(m_config.seed)
{
    if (!m_clock) {
        // A meter that has been running for a while: the network's first sag (L2, at 30 s) comes
        // two seconds after the tool connects, so the error flags have something to show early.
        const auto start = std::chrono::steady_clock::now() - std::chrono::seconds(28);
        m_clock = [start] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        };
    }
    m_ram2 = m_config.installed ? installedRam2() : factoryRam2();
    m_ram3 = factoryRam3(m_config.factoryNumber, m_config.factoryYear, m_config.factoryMonth);

    // Counters of a meter that has been in service for a while.
    const std::int64_t counters[4][3] = {
        {1234567, 987654, 1456789}, {0, 1520, 0}, {345678, 123456, 456789}, {2345, 45678, 1234}};
    for (int kind = 0; kind < 4; ++kind) {
        std::int64_t sum = 0;
        for (int ph = 0; ph < 3; ++ph) {
            set(m_ram1, kCounters[kind], std::size_t(ph), counters[kind][ph]);
            sum += counters[kind][ph];
        }
        set(m_ram1, kCounters[kind], 3, sum);
    }
}

void VirtualMeter::resetReceiver()
{
    m_rx.clear();
}

std::vector<MeterAnswer> VirtualMeter::receive(const QByteArray& bytes)
{
    std::vector<MeterAnswer> answers;
    m_rx.append(bytes);
    qsizetype pos = 0;
    const auto* data = reinterpret_cast<const std::uint8_t*>(m_rx.constData());
    while (pos < m_rx.size()) {
        const qsizetype avail = m_rx.size() - pos;
        const int expected = requestPayloadSize(data[pos]);
        if (expected < 0) {
            ++pos;
            ++m_stats.discardedBytes;
            continue;
        }
        if (avail < kHeaderSize)
            break;
        // Every request has a fixed length, so a header that disagrees cannot start a frame: step
        // over its first byte and look again.
        const int length = lengthFieldOf(data + pos);
        if (length != lengthFieldFor(expected)) {
            ++pos;
            ++m_stats.discardedBytes;
            continue;
        }
        const qsizetype frameSize = frameSizeFor(length);
        if (avail < frameSize)
            break;
        const auto request =
            Frame::decode(std::span<const std::uint8_t>(data + pos, static_cast<std::size_t>(frameSize)));
        if (!request) {
            // Only one byte is skipped: the "header" may have been stray bytes in front of a real frame.
            ++m_stats.badCrc;
            ++pos;
            ++m_stats.discardedBytes;
            continue;
        }
        if (auto answer = handleRequest(request->code(), request->payload().data()))
            answers.push_back(std::move(*answer));
        pos += frameSize;
    }
    m_rx.remove(0, pos);
    return answers;
}

bool VirtualMeter::roll(double probability)
{
    // Always draw, so that the dice of one fault do not shift those of another.
    const double u = std::uniform_real_distribution<double>(0.0, 1.0)(m_rng);
    return u < probability;
}

std::optional<MeterAnswer> VirtualMeter::handleRequest(std::uint8_t code, const std::uint8_t* payload)
{
    ++m_stats.requests;
    ++m_stats.byCode[code];
    const double now = m_clock();
    advanceTo(now);
    const QByteArray answerPayload = buildPayload(code, payload, now);
    if (m_watcher)
        m_watcher(code, std::span<const std::uint8_t>(payload, std::size_t(requestPayloadSize(code))));
    if (roll(m_config.faults.drop)) {
        ++m_stats.dropped;
        return std::nullopt;
    }
    return applyFaults(code, answerFrame(code, answerPayload));
}

MeterAnswer VirtualMeter::applyFaults(std::uint8_t code, QByteArray frame)
{
    const FaultProfile& f = m_config.faults;
    MeterAnswer answer;
    answer.code = code;
    if (roll(f.crc)) {
        frame[frame.size() - 1] = char(frame[frame.size() - 1] ^ 0x5A);
        ++m_stats.corrupted;
    }
    if (roll(f.garbage)) {
        ++m_stats.garbage;
        const int n = std::uniform_int_distribution<int>(1, 6)(m_rng);
        QByteArray junk;
        for (int k = 0; k < n; ++k)
            junk.append(char(std::uniform_int_distribution<int>(0, 255)(m_rng)));
        frame.prepend(junk);
    }
    const bool memoryWrite = code == Write_RAM1 || code == Write_RAM2 || code == Write_RAM3;
    const bool late = roll(f.late);
    // Drawn for every answer, as the others are.
    const bool lateWrite = roll(f.lateWrite) && memoryWrite;
    if (late || lateWrite) {
        answer.delayMs = kLateAnswerMs;
        ++m_stats.late;
        if (memoryWrite)
            ++m_stats.lateWrites;
    }
    if (roll(f.split) && frame.size() >= 2) {
        ++m_stats.split;
        const int pieces = std::min<int>(std::uniform_int_distribution<int>(2, 4)(m_rng), int(frame.size()));
        std::vector<int> cuts;
        while (int(cuts.size()) < pieces - 1) {
            const int c = std::uniform_int_distribution<int>(1, int(frame.size()) - 1)(m_rng);
            if (std::find(cuts.begin(), cuts.end(), c) == cuts.end())
                cuts.push_back(c);
        }
        std::sort(cuts.begin(), cuts.end());
        int prev = 0;
        for (int c : cuts) {
            answer.pieces.push_back(c - prev);
            prev = c;
        }
        answer.pieces.push_back(int(frame.size()) - prev);
    }
    answer.bytes = std::move(frame);
    return answer;
}

QByteArray VirtualMeter::buildPayload(std::uint8_t code, const std::uint8_t* payload, double now)
{
    switch (code) {
    case Read_State: {
        const std::uint8_t service = payload[0];
        if (service & kServiceFactoryDefaults) {
            m_ram2 = factoryRam2();
            m_ram3 = factoryRam3(m_config.factoryNumber, m_config.factoryYear, m_config.factoryMonth);
        }
        if (service & kServiceUserDefaults)
            m_ram2 = factoryRam2();
        if (service & kServiceClearErrors)
            m_staticErrors = 0;
        return stateRecord(now);
    }
    case Read_Net:
        return netRecord(now);
    case Read_RAM1:
        return payloadOf(m_ram1);
    case Read_RAM2:
        return payloadOf(m_ram2);
    case Read_RAM3:
        return payloadOf(m_ram3);
    case Read_Caldata:
        return caldataRecord(now);
    case Read_EPdata:
        return epRecord(now);
    case Read_Version:
        return versionRecord();
    case Read_Harmonics:
        return harmonicsRecord(now, payload[0]);
    case Write_RAM1:
        store(MemoryRecord::Ram1, m_ram1, payload);
        for (auto& kind : m_energyRest)
            kind.fill(0.0);
        break;
    case Write_RAM2:
        store(MemoryRecord::Ram2, m_ram2, payload);
        break;
    case Write_RAM3:
        store(MemoryRecord::Ram3, m_ram3, payload);
        break;
    case Write_State:
        m_writeState = payload[0];
        break;
    case Write_Digout:
        m_digout = payload[0];
        break;
    case Write_DAcalib:
        m_daCalib = payload[0];
        break;
    case Write_DAtest: {
        float v;
        std::memcpy(&v, payload, sizeof v);
        m_daTest = v;
        break;
    }
    default:
        break;
    }
    return QByteArray(1, '\0');
}

template <std::size_t N>
void VirtualMeter::store(MemoryRecord record, ByteImage<N>& image, const std::uint8_t* payload)
{
    image.copyFrom(payload);
    if (!applyClamps(m_config.clamps, record, std::span<std::uint8_t>(image.data(), N)).empty())
        ++m_stats.clamped;
}

std::array<double, 6> VirtualMeter::ratios() const
{
    std::array<double, 6> r{};
    for (int k = 0; k < 6; ++k) {
        const double v = get(m_ram2, ram2::Ratio, std::size_t(k));
        // A ratio the meter cannot use counts as 1, so a broken setting never yields NaN readings.
        r[k] = (std::isfinite(v) && v > 0.0) ? v : 1.0;
    }
    return r;
}

std::uint32_t VirtualMeter::errorsAt(const NetworkSnapshot& s) const
{
    std::uint32_t e = 0;
    double p = 0.0, q = 0.0;
    for (int ph = 0; ph < 3; ++ph) {
        const double calU = get(m_ram3, ram3::Calrms, std::size_t(2 * ph));
        const double calI = get(m_ram3, ram3::Calrms, std::size_t(2 * ph + 1));
        const double unom = (std::isfinite(calU) && calU >= 1.0) ? calU : 230.0;
        const double inom = (std::isfinite(calI) && calI >= 0.1) ? calI : 5.0;
        if (s.u[ph] < 0.1 * unom)
            e |= bit(kDropoutBit + ph);
        else if (s.u[ph] < 0.9 * unom)
            e |= bit(kDipBit + ph);
        else if (s.u[ph] > 1.1 * unom)
            e |= bit(kRiseBit + ph);
        if (s.i[ph] > 1.2 * inom)
            e |= bit(kOverCurrentBit + ph);
        if (std::abs(s.f[ph] - 50.0) > 0.5)
            e |= kFrequencyError;
        p += s.u[ph] * s.i[ph] * std::cos(s.fi[ph] * kPi / 180.0);
        q += s.u[ph] * s.i[ph] * std::sin(s.fi[ph] * kPi / 180.0);
    }
    if (std::abs(s.uAngle[1] - 240.0) > 30.0 || std::abs(s.uAngle[2] - 120.0) > 30.0)
        e |= kPhaseOrderError;
    if (p > 0.0 && q > 0.75 * p)
        e |= kExcessReactive;
    return e;
}

NetworkSnapshot VirtualMeter::sensed(double t) const
{
    NetworkSnapshot s = networkAt(t);
    if (m_config.reversedCt >= 1 && m_config.reversedCt <= 3) {
        // A reversed transformer turns its current by half a turn: the angle stays within -180..180.
        double& fi = s.fi[std::size_t(m_config.reversedCt - 1)];
        fi = fi > 0.0 ? fi - 180.0 : fi + 180.0;
    }
    return s;
}

void VirtualMeter::advanceTo(double t)
{
    if (!m_started) {
        m_started = true;
        m_lastT = t;
        m_periodIndex = static_cast<std::int64_t>(std::floor(t / kDemandPeriodS));
        // Pretend the meter has been running since the period began.
        const NetworkSnapshot s = sensed(t);
        const auto r = ratios();
        double p = 0.0;
        for (int ph = 0; ph < 3; ++ph)
            p += s.u[ph] * r[2 * ph] * s.i[ph] * r[2 * ph + 1] * std::cos(s.fi[ph] * kPi / 180.0);
        m_periodEnergyWh = std::max(0.0, p) * (t - double(m_periodIndex) * kDemandPeriodS) / 3600.0;
        m_staticErrors |= errorsAt(s);
        return;
    }
    if (!(t > m_lastT))
        return;
    if (t - m_lastT > kMaxCatchUpS)
        m_lastT = t - kMaxCatchUpS;

    const double span = t - m_lastT;
    const double step = std::max(1.0, span / 20000.0);
    const auto steps = static_cast<long long>(std::ceil(span / step));
    const double h = span / double(steps);
    const auto r = ratios();

    auto addEnergy = [this](int kind, int column, double wh) {
        double& rest = m_energyRest[kind][column];
        rest += wh;
        const double whole = std::floor(rest);
        if (whole >= 1.0) {
            rest -= whole;
            const auto& counter = kCounters[kind];
            const auto index = std::size_t(column);
            set(m_ram1, counter, index, get(m_ram1, counter, index) + static_cast<std::int64_t>(whole));
        }
    };

    for (long long k = 0; k < steps; ++k) {
        const double mid = m_lastT + (double(k) + 0.5) * h;
        const NetworkSnapshot s = sensed(mid);
        m_staticErrors |= errorsAt(s);

        double pSum = 0.0, qSum = 0.0;
        for (int ph = 0; ph < 3; ++ph) {
            const double va = s.u[ph] * r[2 * ph] * s.i[ph] * r[2 * ph + 1];
            const double p = va * std::cos(s.fi[ph] * kPi / 180.0);
            const double q = va * std::sin(s.fi[ph] * kPi / 180.0);
            pSum += p;
            qSum += q;
            addEnergy(p >= 0 ? 0 : 1, ph, std::abs(p) * h / 3600.0);
            addEnergy(q >= 0 ? 2 : 3, ph, std::abs(q) * h / 3600.0);
        }
        addEnergy(pSum >= 0 ? 0 : 1, 3, std::abs(pSum) * h / 3600.0);
        addEnergy(qSum >= 0 ? 2 : 3, 3, std::abs(qSum) * h / 3600.0);

        const auto period = static_cast<std::int64_t>(std::floor(mid / kDemandPeriodS));
        if (period != m_periodIndex) {
            // A period that ended with no step inside it (long gap) leaves the last full one as previous.
            m_previousDemandW = m_periodEnergyWh * 3600.0 / kDemandPeriodS;
            m_periodEnergyWh = 0.0;
            m_periodIndex = period;
        }
        m_periodEnergyWh += std::max(0.0, pSum) * h / 3600.0;
    }
    m_lastT = t;
}

double VirtualMeter::demandSoFarW() const
{
    return m_periodEnergyWh * 3600.0 / kDemandPeriodS;
}

double VirtualMeter::demandEstimateW(double now) const
{
    const double elapsed = now - double(m_periodIndex) * kDemandPeriodS;
    if (elapsed < 1.0)
        return m_previousDemandW;
    return m_periodEnergyWh * 3600.0 / elapsed;
}

std::uint32_t VirtualMeter::contractedDemand() const
{
    // MaxEP is kept in thousandths; tariff 1 applies (the meter's internal tariff).
    constexpr auto kScale = static_cast<std::uint64_t>(ram2::MaxEP.scale);
    return static_cast<std::uint32_t>((std::uint64_t(get(m_ram2, ram2::MaxEP, 0)) + kScale / 2) / kScale);
}

QByteArray VirtualMeter::stateRecord(double now)
{
    StateRecord rec;
    std::uint32_t dynamic = errorsAt(sensed(now));
    const std::uint32_t contracted = contractedDemand();
    if (contracted > 0 && demandEstimateW(now) > double(contracted))
        dynamic |= kDemandExceeded;
    m_staticErrors |= dynamic & kDemandExceeded;

    const unsigned module1 = get(m_ram3, ram3::Modulconfig) & 0x0F;
    std::uint8_t io = 0;
    if (module1 >= 1)
        io |= m_digout & 0x03;
    if (module1 == 2) {
        io |= std::uint8_t(floorMod2(now / 7.0) << 4);
        io |= std::uint8_t(floorMod2(now / 11.0) << 5);
        io |= std::uint8_t(floorMod2(now / 17.0) << 6);
    }
    set(rec, state::StaticErrors, m_staticErrors);
    set(rec, state::DynamicErrors, dynamic);
    set(rec, state::ErrorMask, get(m_ram2, ram2::LedErrorMask));
    set(rec, state::IoBits, io);
    return payloadOf(rec);
}

QByteArray VirtualMeter::netRecord(double now) const
{
    NetRecord rec;
    const NetworkSnapshot s = sensed(now);
    const auto r = ratios();

    std::complex<double> uPh[3], iPh[3];
    double u[3], i[3], p[3], q[3], sa[3];
    for (int ph = 0; ph < 3; ++ph) {
        u[ph] = s.u[ph] * r[2 * ph];
        i[ph] = s.i[ph] * r[2 * ph + 1];
        const double fi = s.fi[ph] * kPi / 180.0;
        const double angle = s.uAngle[ph] * kPi / 180.0;
        uPh[ph] = std::polar(u[ph], angle);
        iPh[ph] = std::polar(i[ph], angle - fi);
        sa[ph] = u[ph] * i[ph];
        p[ph] = sa[ph] * std::cos(fi);
        q[ph] = sa[ph] * std::sin(fi);
    }
    auto put = [&rec](const NetFloat& field, double v) { set(rec, field, float(v)); };
    put(net::L12urms, std::abs(uPh[0] - uPh[1]));
    put(net::L23urms, std::abs(uPh[1] - uPh[2]));
    put(net::L13urms, std::abs(uPh[0] - uPh[2]));
    for (int ph = 0; ph < 3; ++ph) {
        const NetPhase& f = kNetPhase[ph];
        put(f.urms, u[ph]);
        put(f.irms, i[ph]);
        put(f.p, p[ph]);
        put(f.q, q[ph]);
        put(f.s, sa[ph]);
        put(f.pf, sa[ph] > 0 ? p[ph] / sa[ph] : 0.0);
        put(f.fi, s.fi[ph]);
        put(f.f, s.f[ph]);
    }
    // Two of the floats the tool does not show: the neutral current and the mean frequency.
    put(net::Unused36, std::abs(iPh[0] + iPh[1] + iPh[2]));
    const double pt = p[0] + p[1] + p[2], qt = q[0] + q[1] + q[2], st = sa[0] + sa[1] + sa[2];
    put(net::Sump, pt);
    put(net::Sumq, qt);
    put(net::Sums, st);
    put(net::Sumpf, st > 0 ? pt / st : 0.0);
    put(net::Unused116, (s.f[0] + s.f[1] + s.f[2]) / 3.0);
    put(net::L12fi, s.uAngle[1]);
    put(net::L13fi, s.uAngle[2]);
    for (int ch = 0; ch < 6; ++ch)
        put(kNetThd[ch], spectrumThd(harmonicSpectrumAt(now, ch)));
    return payloadOf(rec);
}

QByteArray VirtualMeter::caldataRecord(double now) const
{
    CaldataRecord rec;
    const NetworkSnapshot s = sensed(now);
    for (int ch = 0; ch < 6; ++ch) {
        const int ph = ch / 2;
        const auto k = std::size_t(ch);
        const double value = (ch % 2) ? s.i[ph] : s.u[ph];
        const double cal = get(m_ram3, ram3::Calrms, k);
        const double nominalAd = get(m_ram3, ram3::ADrms, k);
        double ad = 0.0;
        if (std::isfinite(cal) && cal > 1e-3)
            ad = std::clamp(nominalAd * value / cal, 0.0, 65535.0);
        set(rec, caldata::ADrms, k, static_cast<std::uint16_t>(std::lround(ad)));
        // The nominal value is RAM3's own, bit for bit.
        static_assert(caldata::UIrms.width == ram3::Calrms.width);
        std::memcpy(rec.data() + caldata::UIrms.at(k), m_ram3.data() + ram3::Calrms.at(k),
                    caldata::UIrms.width);
        const auto jitter = static_cast<int>(std::lround(0.8 * std::sin(now * 1.7 + ch)));
        set(rec, caldata::Average, k, static_cast<std::int16_t>(kHardwareOffset[ch] + jitter));
    }
    return payloadOf(rec);
}

QByteArray VirtualMeter::epRecord(double now) const
{
    EpRecord rec;
    const double elapsed = std::clamp(now - double(m_periodIndex) * kDemandPeriodS, 0.0, kDemandPeriodS);
    set(rec, ep::EPprevious, toU32(m_previousDemandW));
    set(rec, ep::EPestimated, toU32(demandEstimateW(now)));
    set(rec, ep::EPenabled, contractedDemand());
    set(rec, ep::EPcurrent, toU32(demandSoFarW()));
    set(rec, ep::EPtimeelapsed, static_cast<std::uint16_t>(std::lround(elapsed * ep::EPtimeelapsed.scale)));
    return payloadOf(rec);
}

QByteArray VirtualMeter::versionRecord() const
{
    VersionRecord rec;
    set(rec, version::ProgramversionMajor, m_config.version.major);
    set(rec, version::ProgramversionMinor, m_config.version.minor);
    set(rec, version::ProgramversionBuild, m_config.version.build);
    const QByteArray date = m_config.firmwareDate.left(qsizetype(version::Programdate.count));
    std::memcpy(rec.data() + version::Programdate.offset, date.constData(), std::size_t(date.size()));
    set(rec, version::Gyartaseve, get(m_ram3, ram3::GyartasiEv));
    set(rec, version::Gyartashonapja, get(m_ram3, ram3::GyartasiHo));
    set(rec, version::Gyartasiszam, get(m_ram3, ram3::Gyartasiszam));
    return payloadOf(rec);
}

QByteArray VirtualMeter::harmonicsRecord(double now, std::uint8_t channel) const
{
    HarmonicsRecord rec;
    set(rec, harmonics::Channel, channel);
    // Unknown channels and channels not enabled in RAM2 are not measured: all zero.
    if (channel > 5 || !(get(m_ram2, ram2::HarmEnabled) & (1u << channel)))
        return payloadOf(rec);
    const HarmonicSpectrum bars = harmonicSpectrumAt(now, channel);
    set(rec, harmonics::THD, float(spectrumThd(bars)));
    for (std::size_t n = 0; n < bars.size(); ++n)
        set(rec, harmonics::Amplitude, n, bars[n]);
    return payloadOf(rec);
}

} // namespace kvam
