#include "ViewRecords.h"

#include "NumberFormat.h"

#include <cmath>

namespace kvam {

// ---------------------------------------------------------------------------------------------
// Net record

const std::array<NetField, kNetFieldCount>& netFields()
{
    // The order is the one the data logger relies on when it reads the fields back, with Sumpf
    // after the apparent sum.
    static constexpr std::array<NetField, kNetFieldCount> kFields{{
        {"L12urms", 0, "%10.1f", false},
        {"L23urms", 4, "%10.1f", false},
        {"L13urms", 8, "%10.1f", false},
        {"L1urms", 12, "%10.1f", false},
        {"L2urms", 16, "%10.1f", false},
        {"L3urms", 20, "%10.1f", false},
        {"L1irms", 24, "%10.3f", false},
        {"L2irms", 28, "%10.3f", false},
        {"L3irms", 32, "%10.3f", false},
        {"L1p", 40, "%10.3f", true},
        {"L2p", 44, "%10.3f", true},
        {"L3p", 48, "%10.3f", true},
        {"L1q", 52, "%10.3f", true},
        {"L2q", 56, "%10.3f", true},
        {"L3q", 60, "%10.3f", true},
        {"L1s", 64, "%10.3f", true},
        {"L2s", 68, "%10.3f", true},
        {"L3s", 72, "%10.3f", true},
        {"L1pf", 76, "%10.3f", false},
        {"L2pf", 80, "%10.3f", false},
        {"L3pf", 84, "%10.3f", false},
        {"L1fi", 88, "%10.1f", false},
        {"L2fi", 92, "%10.1f", false},
        {"L3fi", 96, "%10.1f", false},
        {"Sump", 100, "%10.3f", true},
        {"Sumq", 104, "%10.3f", true},
        {"Sums", 108, "%10.3f", true},
        {"Sumpf", 112, "%10.3f", false},
        {"L1f", 120, "%10.2f", false},
        {"L2f", 124, "%10.2f", false},
        {"L3f", 128, "%10.2f", false},
        {"L12fi", 132, "%10.1f", false},
        {"L13fi", 136, "%10.1f", false},
        {"L1uthd", 156, "%10.1f", false},
        {"L2uthd", 160, "%10.1f", false},
        {"L3uthd", 164, "%10.1f", false},
        {"L1ithd", 168, "%10.1f", false},
        {"L2ithd", 172, "%10.1f", false},
        {"L3ithd", 176, "%10.1f", false},
    }};
    return kFields;
}

QString netFieldText(const NetRecord& rec, const NetField& field)
{
    float v = rec.f32(field.offset);
    // The meter's single is scaled as a single, so the rounding matches what it would show.
    if (field.perThousand)
        v = v / 1000.0f;
    return formatNumber(field.format, static_cast<double>(v));
}

QStringList netFieldTexts(const NetRecord& rec)
{
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(kNetFieldCount));
    for (const NetField& f : netFields())
        texts << netFieldText(rec, f);
    return texts;
}

float caldataNominalRms(const CaldataRecord& cal, int channel)
{
    if (channel < 0 || channel > 5)
        return 0.0f;
    return cal.f32(12 + 4 * static_cast<std::size_t>(channel));
}

namespace {

// A reference magnitude the diagram can divide by: NaN and infinity are no better than zero.
float referenceOr(float value, float fallback)
{
    return (std::isfinite(value) && value >= 1.0f) ? value : fallback;
}

} // namespace

PhasorInput makePhasorInput(const NetRecord& net, const CaldataRecord& cal, float zoomU, float zoomI)
{
    PhasorInput in;
    in.U1 = net.f32(12);
    in.U2 = net.f32(16);
    in.U3 = net.f32(20);
    in.I1 = net.f32(24);
    in.I2 = net.f32(28);
    in.I3 = net.f32(32);
    in.U12 = net.f32(0);
    in.U13 = net.f32(8); // the record sends 12, 23, 13
    in.U23 = net.f32(4);
    in.Fi1 = net.f32(88);
    in.Fi2 = net.f32(92);
    in.Fi3 = net.f32(96);
    in.Fi12 = net.f32(132);
    in.Fi13 = net.f32(136);
    in.Unom = referenceOr(caldataNominalRms(cal, 0), kDefaultUnom);
    in.Inom = referenceOr(caldataNominalRms(cal, 1), kDefaultInom);
    in.ZoomU = zoomU;
    in.ZoomI = zoomI;
    return in;
}

// ---------------------------------------------------------------------------------------------
// State record

quint32 staticErrors(const StateRecord& rec) { return rec.u32(0); }
quint32 dynamicErrors(const StateRecord& rec) { return rec.u32(4); }
quint32 errorMask(const StateRecord& rec) { return rec.u32(8); }
quint8 ioBits(const StateRecord& rec) { return rec.u8(13); }

bool errorLedLit(const StateRecord& rec)
{
    return ((errorMask(rec) | kAlwaysLitErrors) & staticErrors(rec)) != 0;
}

bool ioActive(const StateRecord& rec, IoBit bit)
{
    return (ioBits(rec) & bit) != 0;
}

// ---------------------------------------------------------------------------------------------
// Version record

int versionMajor(const VersionRecord& rec) { return rec.u8(0); }

QString versionText(const VersionRecord& rec)
{
    return formatNumber("%d.%d.%d", int(rec.u8(0)), int(rec.u8(1)), int(rec.u16(2)));
}

QString versionDateText(const VersionRecord& rec)
{
    constexpr std::size_t kOffset = 4, kMax = 12;
    std::size_t len = 0;
    while (len < kMax && rec.u8(kOffset + len) != 0)
        ++len;
    return QString::fromLatin1(reinterpret_cast<const char*>(rec.data() + kOffset), qsizetype(len));
}

int manufactureYear(const VersionRecord& rec) { return rec.u8(16); }
int manufactureMonth(const VersionRecord& rec) { return rec.u8(17); }
quint32 factoryNumber(const VersionRecord& rec) { return rec.u32(18); }

QString factoryNumberText(const VersionRecord& rec)
{
    return formatNumber("%u", static_cast<unsigned>(factoryNumber(rec)));
}

bool versionSupported(const VersionRecord& rec)
{
    return versionMajor(rec) == kRequiredMajorVersion;
}

QString unsupportedVersionMessage(const VersionRecord& rec)
{
    return QStringLiteral("A készülék verziója ") + versionText(rec) + QStringLiteral("\r\n")
        + QStringLiteral("Ez a program csak a v") + QString::number(kRequiredMajorVersion)
        + QStringLiteral(".x.x verziójú KVAM2100 készülékek beállítására alkalmas!");
}

// ---------------------------------------------------------------------------------------------
// EP record

quint32 epPrevious(const EpRecord& rec) { return rec.u32(8); }
quint32 epEstimated(const EpRecord& rec) { return rec.u32(12); }
quint32 epEnabled(const EpRecord& rec) { return rec.u32(16); }
quint32 epCurrent(const EpRecord& rec) { return rec.u32(20); }
quint32 epElapsed(const EpRecord& rec) { return rec.u16(24) / 10u; }

// ---------------------------------------------------------------------------------------------
// Harmonics record

int harmonicsChannel(const HarmonicsRecord& rec) { return rec.u8(0); }
float harmonicsThd(const HarmonicsRecord& rec) { return rec.f32(1); }

HarmonicAmplitudes harmonicsAmplitudes(const HarmonicsRecord& rec)
{
    HarmonicAmplitudes a{};
    for (std::size_t n = 0; n < a.size(); ++n)
        a[n] = rec.u16(5 + 2 * n);
    return a;
}

QString harmonicsChannelTitle(int code)
{
    static const char* const kTitles[] = {"L1 U", "L2 U", "L3 U", "L1 I", "L2 I", "L3 I"};
    if (code < 0 || code > 5)
        return QStringLiteral("???");
    return QString::fromLatin1(kTitles[code]);
}

QString harmonicsTitle(const HarmonicsRecord& rec)
{
    const QByteArray channel = harmonicsChannelTitle(harmonicsChannel(rec)).toUtf8();
    return formatNumber("%s THD: %4.1f %%", channel.constData(), static_cast<double>(harmonicsThd(rec)));
}

std::array<double, kHarmonicCount> harmonicsBarHeights(const HarmonicAmplitudes& amplitudes)
{
    std::array<double, kHarmonicCount> h{};
    for (std::size_t n = 0; n < h.size(); ++n)
        h[n] = amplitudes[n] / 10.0;
    return h;
}

} // namespace kvam
