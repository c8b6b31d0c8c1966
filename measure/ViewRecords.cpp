#include "measure/ViewRecords.h"

#include "device/MeterRules.h"
#include "platform/NumberFormat.h"
#include "texts/UiTexts.h"

#include <cmath>

namespace kvam {

// ---------------------------------------------------------------------------------------------
// Net record

namespace {

// A shown field of the Net record with its format and unit; offset and scale come from the record
// layer.
template <FieldType T>
constexpr NetField shown(const Field<net::Record, T>& f, const char* logName, const char* format,
                         const char* unit)
{
    static_assert(T == FieldType::f32, "the Net record holds floats");
    return {f.name, logName, f.offset, format, static_cast<float>(f.scale), unit};
}

} // namespace

const std::array<NetField, kNetFieldCount>& netFields()
{
    using namespace net;
    // The order is the one the data logger relies on when it reads the fields back, with Sumpf
    // after the apparent sum. The log's column names are the window's own and are kept as they
    // are ("F13" included): the Windows tools read them.
    // One line per quantity, the L1, L2, L3 (or sum) columns side by side.
    // clang-format off
    static constexpr std::array<NetField, kNetFieldCount> kFields{{
        shown(L12urms, "U12", "%10.1f", "V"),   shown(L23urms, "U23", "%10.1f", "V"),   shown(L13urms, "U13", "%10.1f", "V"),
        shown(L1urms, "U1", "%10.1f", "V"),     shown(L2urms, "U2", "%10.1f", "V"),     shown(L3urms, "U3", "%10.1f", "V"),
        shown(L1irms, "I1", "%10.3f", "A"),     shown(L2irms, "I2", "%10.3f", "A"),     shown(L3irms, "I3", "%10.3f", "A"),
        shown(L1p, "P1", "%10.3f", "kW"),       shown(L2p, "P2", "%10.3f", "kW"),       shown(L3p, "P3", "%10.3f", "kW"),
        shown(L1q, "Q1", "%10.3f", "kVAr"),     shown(L2q, "Q2", "%10.3f", "kVAr"),     shown(L3q, "Q3", "%10.3f", "kVAr"),
        shown(L1s, "S1", "%10.3f", "kVA"),      shown(L2s, "S2", "%10.3f", "kVA"),      shown(L3s, "S3", "%10.3f", "kVA"),
        shown(L1pf, "PF1", "%10.3f", ""),       shown(L2pf, "PF2", "%10.3f", ""),       shown(L3pf, "PF3", "%10.3f", ""),
        shown(L1fi, "Fi1", "%10.1f", "°"),      shown(L2fi, "Fi2", "%10.1f", "°"),      shown(L3fi, "Fi3", "%10.1f", "°"),
        shown(Sump, "Psum", "%10.3f", "kW"),    shown(Sumq, "Qsum", "%10.3f", "kVAr"),  shown(Sums, "Ssum", "%10.3f", "kVA"),
        shown(Sumpf, "PFsum", "%10.3f", ""),    shown(L1f, "f1", "%10.2f", "Hz"),       shown(L2f, "f2", "%10.2f", "Hz"),
        shown(L3f, "f3", "%10.2f", "Hz"),       shown(L12fi, "Fi12", "%10.1f", "°"),    shown(L13fi, "F13", "%10.1f", "°"),
        shown(L1uthd, "ThdU1", "%10.1f", "%"),  shown(L2uthd, "ThdU2", "%10.1f", "%"),  shown(L3uthd, "ThdU3", "%10.1f", "%"),
        shown(L1ithd, "ThdI1", "%10.1f", "%"),  shown(L2ithd, "ThdI2", "%10.1f", "%"),  shown(L3ithd, "ThdI3", "%10.1f", "%"),
    }};
    // clang-format on
    return kFields;
}

QString netFieldText(const NetRecord& rec, const NetField& field)
{
    float v = rec.f32(field.offset);
    // The meter's single is scaled as a single, so the rounding matches what it would show.
    if (field.scale != 1.0f)
        v = v / field.scale;
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
    // A channel outside 0..5 reads 0.
    if (channel < 0)
        return 0.0f;
    return get(cal, caldata::UIrms, static_cast<std::size_t>(channel));
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
    in.U1 = get(net, net::L1urms);
    in.U2 = get(net, net::L2urms);
    in.U3 = get(net, net::L3urms);
    in.I1 = get(net, net::L1irms);
    in.I2 = get(net, net::L2irms);
    in.I3 = get(net, net::L3irms);
    in.U12 = get(net, net::L12urms);
    in.U13 = get(net, net::L13urms); // the record sends 12, 23, 13
    in.U23 = get(net, net::L23urms);
    in.Fi1 = get(net, net::L1fi);
    in.Fi2 = get(net, net::L2fi);
    in.Fi3 = get(net, net::L3fi);
    in.Fi12 = get(net, net::L12fi);
    in.Fi13 = get(net, net::L13fi);
    in.Unom = referenceOr(caldataNominalRms(cal, 0), kDefaultUnom);
    in.Inom = referenceOr(caldataNominalRms(cal, 1), kDefaultInom);
    in.ZoomU = zoomU;
    in.ZoomI = zoomI;
    return in;
}

// ---------------------------------------------------------------------------------------------
// RAM1 energy counters and the RAM2 arrangement

const std::array<EnergyField, kEnergyFieldCount>& energyFields()
{
    static constexpr std::array<EnergyField, kEnergyFieldCount> kFields{{
        {"L1EPplus", ram1::EPplus, 0},
        {"L2EPplus", ram1::EPplus, 1},
        {"L3EPplus", ram1::EPplus, 2},
        {"L123EPplus", ram1::EPplus, 3},
        {"L1EPminus", ram1::EPminus, 0},
        {"L2EPminus", ram1::EPminus, 1},
        {"L3EPminus", ram1::EPminus, 2},
        {"L123EPminus", ram1::EPminus, 3},
        {"L1EQplus", ram1::EQplus, 0},
        {"L2EQplus", ram1::EQplus, 1},
        {"L3EQplus", ram1::EQplus, 2},
        {"L123EQplus", ram1::EQplus, 3},
        {"L1EQminus", ram1::EQminus, 0},
        {"L2EQminus", ram1::EQminus, 1},
        {"L3EQminus", ram1::EQminus, 2},
        {"L123EQminus", ram1::EQminus, 3},
    }};
    return kFields;
}

QString energyFieldText(const Ram1Image& ram1, const EnergyField& field)
{
    // The counter is converted to double before the division, as the meter's own display does;
    // a double holds every counter up to 2^53 Wh exactly.
    const double wh = static_cast<double>(get(ram1, field.field, field.index));
    return formatNumber("%12.3f", wh / 1000.0);
}

bool threePhaseArrangement(const Ram2Image& ram2)
{
    return threePhaseArrangement(int(get(ram2, ram2::Elrendezes)));
}

// ---------------------------------------------------------------------------------------------
// State record

quint32 staticErrors(const StateRecord& rec)
{
    return get(rec, state::StaticErrors);
}
quint32 dynamicErrors(const StateRecord& rec)
{
    return get(rec, state::DynamicErrors);
}
quint32 errorMask(const StateRecord& rec)
{
    return get(rec, state::ErrorMask);
}
quint8 ioBits(const StateRecord& rec)
{
    return get(rec, state::IoBits);
}

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

int versionMajor(const VersionRecord& rec)
{
    return get(rec, version::ProgramversionMajor);
}

QString versionText(const VersionRecord& rec)
{
    return formatNumber("%d.%d.%d", int(get(rec, version::ProgramversionMajor)),
                        int(get(rec, version::ProgramversionMinor)),
                        int(get(rec, version::ProgramversionBuild)));
}

QString versionDateText(const VersionRecord& rec)
{
    // Up to the first zero byte; a date that fills the field has none.
    std::size_t len = 0;
    while (len < version::Programdate.count && get(rec, version::Programdate, len) != 0)
        ++len;
    return QString::fromLatin1(reinterpret_cast<const char*>(rec.data() + version::Programdate.offset),
                               qsizetype(len));
}

int manufactureYear(const VersionRecord& rec)
{
    return get(rec, version::Gyartaseve);
}
int manufactureMonth(const VersionRecord& rec)
{
    return get(rec, version::Gyartashonapja);
}
quint32 factoryNumber(const VersionRecord& rec)
{
    return get(rec, version::Gyartasiszam);
}

QString factoryNumberText(const VersionRecord& rec)
{
    return formatNumber("%u", static_cast<unsigned>(factoryNumber(rec)));
}

bool versionSupported(const VersionRecord& rec)
{
    return firmwareSupported(versionMajor(rec));
}

QString unsupportedVersionMessage(const VersionRecord& rec)
{
    return currentText("Message.UnsupportedVersion")
        .arg(versionText(rec), QString::number(kSupportedMajorVersion));
}

// ---------------------------------------------------------------------------------------------
// EP record

quint32 epPrevious(const EpRecord& rec)
{
    return get(rec, ep::EPprevious);
}
quint32 epEstimated(const EpRecord& rec)
{
    return get(rec, ep::EPestimated);
}
quint32 epEnabled(const EpRecord& rec)
{
    return get(rec, ep::EPenabled);
}
quint32 epCurrent(const EpRecord& rec)
{
    return get(rec, ep::EPcurrent);
}

quint32 epElapsed(const EpRecord& rec)
{
    // Tenths, shown as whole units with the remainder dropped.
    return get(rec, ep::EPtimeelapsed) / static_cast<unsigned>(ep::EPtimeelapsed.scale);
}

// ---------------------------------------------------------------------------------------------
// Harmonics record

int harmonicsChannel(const HarmonicsRecord& rec)
{
    return get(rec, harmonics::Channel);
}
float harmonicsThd(const HarmonicsRecord& rec)
{
    return get(rec, harmonics::THD);
}

HarmonicAmplitudes harmonicsAmplitudes(const HarmonicsRecord& rec)
{
    HarmonicAmplitudes a{};
    for (std::size_t n = 0; n < a.size(); ++n)
        a[n] = get(rec, harmonics::Amplitude, n);
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
        h[n] = amplitudes[n] / harmonics::Amplitude.scale;
    return h;
}

} // namespace kvam
