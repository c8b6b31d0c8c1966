#include "VirtualMeter.h"

#include "Frame.h"

#include "Crc.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>

namespace kvam {

namespace {

constexpr double kPi = 3.141592653589793;

// Record offsets the meter itself acts on.
namespace ram1 {
constexpr std::size_t kEPplus = 2, kEPminus = 34, kEQplus = 66, kEQminus = 98;
constexpr std::size_t kCounterBase[4] = {kEPplus, kEPminus, kEQplus, kEQminus};
} // namespace ram1
namespace ram2 {
constexpr std::size_t kRatio = 2, kZajzar = 38, kDoutLowLimit = 42, kDoutHighLimit = 58, kDoutHysteresis = 74,
                      kAnValueFrom = 90, kAnValueTo = 106, kPWMScale = 122, kLedErrorMask = 154, kMaxEP = 158,
                      kIntegrationLength = 174, kElrendezes = 176, kEnergySampletime = 180, kDoutImpEgyenertek = 182,
                      kDoutImpSzelesseg = 190, kDoutImpSzunet = 198, kPWMFrommA = 206, kPWMTomA = 214,
                      kPWMErrormA = 222, kAnAssigned = 230, kPWMFrom = 238, kPWMTo = 246, kPWMError = 254,
                      kPWMMin = 262, kPWMMax = 270, kMB01Timeout = 278, kMB01Type = 296, kMB01Addr = 297,
                      kMB01Baud = 298, kMB01Parity = 299, kMB01Stopbits = 300, kMB01Delay = 301, kPWMType = 302,
                      kPWMMode = 306, kHarmEnabled = 311;
} // namespace ram2
namespace ram3 {
constexpr std::size_t kYear = 2, kMonth = 3, kNumber = 4, kModulconfig = 8, kPWMPoint1mA = 10, kPWMPoint2mA = 18,
                      kAdhist = 26, kOffset = 28, kADrms = 40, kCalrms = 52, kRMSCoeff = 76, kTeljCoeff = 100,
                      kDelay = 112, kTimeBaseCorrection = 136;
} // namespace ram3

// Error bits of the state record.
constexpr std::uint32_t bit(int n) { return 1u << n; }
constexpr int kDipBit = 0, kDropoutBit = 3, kRiseBit = 6, kOverCurrentBit = 9;
constexpr std::uint32_t kPhaseOrderError = bit(12), kFrequencyError = bit(13), kExcessReactive = bit(14),
                        kDemandExceeded = bit(17);

// The input stage's own DC offsets, as the AD converter sees them (L1 U, L1 I, L2 U, L2 I, L3 U, L3 I).
constexpr int kHardwareOffset[6] = {4, -3, 2, -5, 3, -2};

// Longest stretch of missed time the energy counters catch up on: a clock that jumps by months must
// not keep the meter busy integrating.
constexpr double kMaxCatchUpS = 7 * 24 * 3600.0;

template <typename T>
void put(QByteArray& record, int offset, T value)
{
    std::memcpy(record.data() + offset, &value, sizeof(T));
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

int requestPayloadSize(int code)
{
    switch (code) {
    case Read_State:
    case Write_State:
    case Write_Digout:
    case Write_DAcalib:
    case Read_EPdata:
    case Read_Harmonics:
        return 1;
    case Read_Net:
    case Read_RAM1:
    case Read_RAM2:
    case Read_RAM3:
    case Read_Caldata:
    case Read_Version:
        return 0;
    case Write_RAM1:
        return kRam1Size;
    case Write_RAM2:
        return kRam2Size;
    case Write_RAM3:
        return kRam3Size;
    case Write_DAtest:
        return 4;
    default:
        return -1;
    }
}

VirtualMeter::Ram2Image VirtualMeter::factoryRam2()
{
    using namespace ram2;
    Ram2Image r;
    for (int k = 0; k < 6; ++k)
        r.set<float>(kRatio + 4 * k, 1.0f);
    r.set<float>(kZajzar, 0.01f);
    for (int k = 0; k < 4; ++k) {
        r.set<float>(kDoutLowLimit + 4 * k, 0.0f);
        r.set<float>(kDoutHighLimit + 4 * k, 100.0f);
        r.set<float>(kDoutHysteresis + 4 * k, 1.0f);
        r.set<float>(kAnValueFrom + 4 * k, 0.0f);
        r.set<float>(kAnValueTo + 4 * k, 100.0f);
        r.set<float>(kPWMScale + 4 * k, 1.0f);
        r.set<std::uint16_t>(kDoutImpEgyenertek + 2 * k, 1);
        r.set<std::uint16_t>(kDoutImpSzelesseg + 2 * k, 200);
        r.set<std::uint16_t>(kDoutImpSzunet + 2 * k, 200);
        r.set<std::uint16_t>(kPWMFrommA + 2 * k, 4000);
        r.set<std::uint16_t>(kPWMTomA + 2 * k, 20000);
        r.set<std::uint16_t>(kPWMErrormA + 2 * k, 20100);
        r.set<std::uint16_t>(kAnAssigned + 2 * k, 0);
        r.set<std::uint16_t>(kPWMFrom + 2 * k, 16000);
        r.set<std::uint16_t>(kPWMTo + 2 * k, 56000);
        r.set<std::uint16_t>(kPWMError + 2 * k, 58000);
        r.set<std::uint16_t>(kPWMMin + 2 * k, 10000);
        r.set<std::uint16_t>(kPWMMax + 2 * k, 60000);
        r[kPWMType + k] = 1; // 4-20 mA
        r[kPWMMode + k] = 1; // limited
    }
    r.set<std::uint32_t>(kLedErrorMask, 0x000FFFFFu);
    const std::uint32_t maxEP[4] = {5000000u, 5000000u, 4000000u, 3000000u};
    for (int k = 0; k < 4; ++k)
        r.set<std::uint32_t>(kMaxEP + 4 * k, maxEP[k]);
    r.set<std::uint16_t>(kIntegrationLength, 2);
    r.set<std::uint16_t>(kElrendezes, 0);
    r.set<std::uint16_t>(kEnergySampletime, 10);
    r.set<std::uint16_t>(kMB01Timeout, 100);
    r[kMB01Type] = 0;
    r[kMB01Addr] = 1;
    r[kMB01Baud] = 5; // 9600
    r[kMB01Parity] = 2;
    r[kMB01Stopbits] = 0;
    r[kMB01Delay] = 0;
    r[kHarmEnabled] = 0x3F;
    return r;
}

VirtualMeter::Ram3Image VirtualMeter::factoryRam3(std::uint32_t factoryNumber, std::uint8_t year, std::uint8_t month)
{
    using namespace ram3;
    Ram3Image r;
    r[kYear] = year;
    r[kMonth] = month;
    r.set<std::uint32_t>(kNumber, factoryNumber);
    r.set<std::uint16_t>(kModulconfig, 2 + 16 * 1); // "2 kimenet 3 bemenet", "2 analóg kimenet"
    for (int k = 0; k < 4; ++k) {
        r.set<std::uint16_t>(kPWMPoint1mA + 2 * k, 4000);
        r.set<std::uint16_t>(kPWMPoint2mA + 2 * k, 20000);
        r.set<float>(kTimeBaseCorrection + 4 * k, 1.0f);
    }
    r.set<std::int16_t>(kAdhist, 150);
    const std::int16_t offsets[6] = {4, -3, 2, -5, 3, -2};
    const std::uint16_t adrms[6] = {11600, 9300, 11620, 9280, 11590, 9310};
    const float calrms[6] = {230.0f, 5.0f, 230.0f, 5.0f, 230.0f, 5.0f};
    const float delay[6] = {0.12f, -0.05f, 0.08f, -0.03f, 0.10f, -0.07f};
    for (int k = 0; k < 6; ++k) {
        r.set<std::int16_t>(kOffset + 2 * k, offsets[k]);
        r.set<std::uint16_t>(kADrms + 2 * k, adrms[k]);
        r.set<float>(kCalrms + 4 * k, calrms[k]);
        r.set<float>(kRMSCoeff + 4 * k, calrms[k] / float(adrms[k]));
        r.set<float>(kDelay + 4 * k, delay[k]);
    }
    for (int k = 0; k < 3; ++k)
        r.set<float>(kTeljCoeff + 4 * k, (calrms[2 * k] / float(adrms[2 * k])) * (calrms[2 * k + 1] / float(adrms[2 * k + 1])));
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
    m_ram2 = factoryRam2();
    m_ram3 = factoryRam3(m_config.factoryNumber, m_config.factoryYear, m_config.factoryMonth);

    // Counters of a meter that has been in service for a while.
    const std::int64_t counters[4][3] = {{1234567, 987654, 1456789},
                                         {0, 1520, 0},
                                         {345678, 123456, 456789},
                                         {2345, 45678, 1234}};
    for (int kind = 0; kind < 4; ++kind) {
        std::int64_t sum = 0;
        for (int ph = 0; ph < 3; ++ph) {
            m_ram1.set<std::int64_t>(ram1::kCounterBase[kind] + 8 * ph, counters[kind][ph]);
            sum += counters[kind][ph];
        }
        m_ram1.set<std::int64_t>(ram1::kCounterBase[kind] + 24, sum);
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
        if (avail < 3)
            break;
        // Every request has a fixed length, so a header that disagrees cannot start a frame: step
        // over its first byte and look again.
        const int length = data[pos + 1] | (data[pos + 2] << 8);
        if (length != expected + 2) {
            ++pos;
            ++m_stats.discardedBytes;
            continue;
        }
        const qsizetype frameSize = length + 3;
        if (avail < frameSize)
            break;
        if (CalculateCRC(data + pos, static_cast<std::int16_t>(frameSize)) != 0) {
            // Only one byte is skipped: the "header" may have been stray bytes in front of a real frame.
            ++m_stats.badCrc;
            ++pos;
            ++m_stats.discardedBytes;
            continue;
        }
        if (auto answer = handleRequest(data[pos], data + pos + 3))
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
    const double now = m_clock();
    advanceTo(now);
    const QByteArray answerPayload = buildPayload(code, payload, now);
    if (roll(m_config.faults.drop)) {
        ++m_stats.dropped;
        return std::nullopt;
    }
    return applyFaults(code, buildFrame(code, answerPayload));
}

MeterAnswer VirtualMeter::applyFaults(std::uint8_t code, QByteArray frame)
{
    const FaultProfile& f = m_config.faults;
    MeterAnswer answer;
    answer.code = code;
    if (roll(f.crc))
        frame[frame.size() - 1] = char(frame[frame.size() - 1] ^ 0x5A);
    if (roll(f.garbage)) {
        const int n = std::uniform_int_distribution<int>(1, 6)(m_rng);
        QByteArray junk;
        for (int k = 0; k < n; ++k)
            junk.append(char(std::uniform_int_distribution<int>(0, 255)(m_rng)));
        frame.prepend(junk);
    }
    if (roll(f.late))
        answer.delayMs = kLateAnswerMs;
    if (roll(f.split) && frame.size() >= 2) {
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
        return QByteArray(reinterpret_cast<const char*>(m_ram1.data()), kRam1Size);
    case Read_RAM2:
        return QByteArray(reinterpret_cast<const char*>(m_ram2.data()), kRam2Size);
    case Read_RAM3:
        return QByteArray(reinterpret_cast<const char*>(m_ram3.data()), kRam3Size);
    case Read_Caldata:
        return caldataRecord(now);
    case Read_EPdata:
        return epRecord(now);
    case Read_Version:
        return versionRecord();
    case Read_Harmonics:
        return harmonicsRecord(now, payload[0]);
    case Write_RAM1:
        m_ram1.copyFrom(payload);
        for (auto& kind : m_energyRest)
            kind.fill(0.0);
        break;
    case Write_RAM2:
        m_ram2.copyFrom(payload);
        break;
    case Write_RAM3:
        m_ram3.copyFrom(payload);
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

std::array<double, 6> VirtualMeter::ratios() const
{
    std::array<double, 6> r{};
    for (int k = 0; k < 6; ++k) {
        const double v = m_ram2.f32(ram2::kRatio + 4 * k);
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
        const double calU = m_ram3.f32(ram3::kCalrms + 4 * (2 * ph));
        const double calI = m_ram3.f32(ram3::kCalrms + 4 * (2 * ph + 1));
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

void VirtualMeter::advanceTo(double t)
{
    if (!m_started) {
        m_started = true;
        m_lastT = t;
        m_periodIndex = static_cast<std::int64_t>(std::floor(t / kDemandPeriodS));
        // Pretend the meter has been running since the period began.
        const NetworkSnapshot s = networkAt(t);
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
            const std::size_t off = ram1::kCounterBase[kind] + 8 * column;
            m_ram1.set<std::int64_t>(off, m_ram1.i64(off) + static_cast<std::int64_t>(whole));
        }
    };

    for (long long k = 0; k < steps; ++k) {
        const double mid = m_lastT + (double(k) + 0.5) * h;
        const NetworkSnapshot s = networkAt(mid);
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
    return static_cast<std::uint32_t>((std::uint64_t(m_ram2.u32(ram2::kMaxEP)) + 500u) / 1000u);
}

QByteArray VirtualMeter::stateRecord(double now)
{
    QByteArray rec(kStateSize, '\0');
    std::uint32_t dynamic = errorsAt(networkAt(now));
    const std::uint32_t contracted = contractedDemand();
    if (contracted > 0 && demandEstimateW(now) > double(contracted))
        dynamic |= kDemandExceeded;
    m_staticErrors |= dynamic & kDemandExceeded;

    const unsigned module1 = m_ram3.u16(ram3::kModulconfig) & 0x0F;
    std::uint8_t io = 0;
    if (module1 >= 1)
        io |= m_digout & 0x03;
    if (module1 == 2) {
        io |= std::uint8_t(floorMod2(now / 7.0) << 4);
        io |= std::uint8_t(floorMod2(now / 11.0) << 5);
        io |= std::uint8_t(floorMod2(now / 17.0) << 6);
    }
    put<std::uint32_t>(rec, 0, m_staticErrors);
    put<std::uint32_t>(rec, 4, dynamic);
    put<std::uint32_t>(rec, 8, m_ram2.u32(ram2::kLedErrorMask));
    rec[13] = char(io);
    return rec;
}

QByteArray VirtualMeter::netRecord(double now) const
{
    QByteArray rec(kNetSize, '\0');
    const NetworkSnapshot s = networkAt(now);
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
    auto f32 = [&rec](int offset, double v) { put<float>(rec, offset, float(v)); };
    f32(0, std::abs(uPh[0] - uPh[1]));
    f32(4, std::abs(uPh[1] - uPh[2]));
    f32(8, std::abs(uPh[0] - uPh[2]));
    for (int ph = 0; ph < 3; ++ph) {
        f32(12 + 4 * ph, u[ph]);
        f32(24 + 4 * ph, i[ph]);
        f32(40 + 4 * ph, p[ph]);
        f32(52 + 4 * ph, q[ph]);
        f32(64 + 4 * ph, sa[ph]);
        f32(76 + 4 * ph, sa[ph] > 0 ? p[ph] / sa[ph] : 0.0);
        f32(88 + 4 * ph, s.fi[ph]);
        f32(120 + 4 * ph, s.f[ph]);
    }
    f32(36, std::abs(iPh[0] + iPh[1] + iPh[2])); // neutral current
    const double pt = p[0] + p[1] + p[2], qt = q[0] + q[1] + q[2], st = sa[0] + sa[1] + sa[2];
    f32(100, pt);
    f32(104, qt);
    f32(108, st);
    f32(112, st > 0 ? pt / st : 0.0);
    f32(116, (s.f[0] + s.f[1] + s.f[2]) / 3.0);
    f32(132, s.uAngle[1]);
    f32(136, s.uAngle[2]);
    for (int ch = 0; ch < 6; ++ch)
        f32(156 + 4 * ch, spectrumThd(harmonicSpectrumAt(now, ch)));
    return rec;
}

QByteArray VirtualMeter::caldataRecord(double now) const
{
    QByteArray rec(kCaldataSize, '\0');
    const NetworkSnapshot s = networkAt(now);
    for (int ch = 0; ch < 6; ++ch) {
        const int ph = ch / 2;
        const double value = (ch % 2) ? s.i[ph] : s.u[ph];
        const double cal = m_ram3.f32(ram3::kCalrms + 4 * ch);
        const double nominalAd = m_ram3.u16(ram3::kADrms + 2 * ch);
        double ad = 0.0;
        if (std::isfinite(cal) && cal > 1e-3)
            ad = std::clamp(nominalAd * value / cal, 0.0, 65535.0);
        put<std::uint16_t>(rec, 2 * ch, static_cast<std::uint16_t>(std::lround(ad)));
        // The nominal value is RAM3's own, bit for bit.
        std::memcpy(rec.data() + 12 + 4 * ch, m_ram3.data() + ram3::kCalrms + 4 * ch, 4);
        const auto jitter = static_cast<int>(std::lround(0.8 * std::sin(now * 1.7 + ch)));
        put<std::int16_t>(rec, 36 + 2 * ch, static_cast<std::int16_t>(kHardwareOffset[ch] + jitter));
    }
    return rec;
}

QByteArray VirtualMeter::epRecord(double now) const
{
    QByteArray rec(kEpSize, '\0');
    const double elapsed = std::clamp(now - double(m_periodIndex) * kDemandPeriodS, 0.0, kDemandPeriodS);
    put<std::uint32_t>(rec, 8, toU32(m_previousDemandW));
    put<std::uint32_t>(rec, 12, toU32(demandEstimateW(now)));
    put<std::uint32_t>(rec, 16, contractedDemand());
    put<std::uint32_t>(rec, 20, toU32(demandSoFarW()));
    put<std::uint16_t>(rec, 24, static_cast<std::uint16_t>(std::lround(elapsed * 10.0)));
    return rec;
}

QByteArray VirtualMeter::versionRecord() const
{
    QByteArray rec(kVersionSize, '\0');
    rec[0] = char(m_config.version.major);
    rec[1] = char(m_config.version.minor);
    put<std::uint16_t>(rec, 2, m_config.version.build);
    const QByteArray date = m_config.firmwareDate.left(12);
    std::memcpy(rec.data() + 4, date.constData(), std::size_t(date.size()));
    rec[16] = char(m_ram3[ram3::kYear]);
    rec[17] = char(m_ram3[ram3::kMonth]);
    put<std::uint32_t>(rec, 18, m_ram3.u32(ram3::kNumber));
    return rec;
}

QByteArray VirtualMeter::harmonicsRecord(double now, std::uint8_t channel) const
{
    QByteArray rec(kHarmonicsSize, '\0');
    rec[0] = char(channel);
    // Unknown channels and channels not enabled in RAM2 are not measured: all zero.
    if (channel > 5 || !(m_ram2[ram2::kHarmEnabled] & (1u << channel)))
        return rec;
    const HarmonicSpectrum bars = harmonicSpectrumAt(now, channel);
    put<float>(rec, 1, float(spectrumThd(bars)));
    for (int n = 0; n < kHarmonicBars; ++n)
        put<std::uint16_t>(rec, 5 + 2 * n, bars[n]);
    return rec;
}

} // namespace kvam
