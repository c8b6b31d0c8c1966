#include "measure/ViewRecords.h"

#include "device/MeterRules.h"
#include "platform/NumberFormat.h"
#include "texts/UiTexts.h"

#include <cmath>
#include <iterator>
#include <string_view>
#include <utility>

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

// The order is the one the data logger relies on when it reads the fields back, with Sumpf after
// the apparent sum. The log's column names are the window's own and are kept as they are ("F13"
// included): the Windows tools read them.
// One line per quantity, the L1, L2, L3 (or sum) columns side by side.
// clang-format off
constexpr std::array<NetField, kNetFieldCount> kNetFields{{
    shown(net::L12urms, "U12", "%10.1f", "V"),   shown(net::L23urms, "U23", "%10.1f", "V"),   shown(net::L13urms, "U13", "%10.1f", "V"),
    shown(net::L1urms, "U1", "%10.1f", "V"),     shown(net::L2urms, "U2", "%10.1f", "V"),     shown(net::L3urms, "U3", "%10.1f", "V"),
    shown(net::L1irms, "I1", "%10.3f", "A"),     shown(net::L2irms, "I2", "%10.3f", "A"),     shown(net::L3irms, "I3", "%10.3f", "A"),
    shown(net::L1p, "P1", "%10.3f", "kW"),       shown(net::L2p, "P2", "%10.3f", "kW"),       shown(net::L3p, "P3", "%10.3f", "kW"),
    shown(net::L1q, "Q1", "%10.3f", "kVAr"),     shown(net::L2q, "Q2", "%10.3f", "kVAr"),     shown(net::L3q, "Q3", "%10.3f", "kVAr"),
    shown(net::L1s, "S1", "%10.3f", "kVA"),      shown(net::L2s, "S2", "%10.3f", "kVA"),      shown(net::L3s, "S3", "%10.3f", "kVA"),
    shown(net::L1pf, "PF1", "%10.3f", ""),       shown(net::L2pf, "PF2", "%10.3f", ""),       shown(net::L3pf, "PF3", "%10.3f", ""),
    shown(net::L1fi, "Fi1", "%10.1f", "°"),      shown(net::L2fi, "Fi2", "%10.1f", "°"),      shown(net::L3fi, "Fi3", "%10.1f", "°"),
    shown(net::Sump, "Psum", "%10.3f", "kW"),    shown(net::Sumq, "Qsum", "%10.3f", "kVAr"),  shown(net::Sums, "Ssum", "%10.3f", "kVA"),
    shown(net::Sumpf, "PFsum", "%10.3f", ""),    shown(net::L1f, "f1", "%10.2f", "Hz"),       shown(net::L2f, "f2", "%10.2f", "Hz"),
    shown(net::L3f, "f3", "%10.2f", "Hz"),       shown(net::L12fi, "Fi12", "%10.1f", "°"),    shown(net::L13fi, "F13", "%10.1f", "°"),
    shown(net::L1uthd, "ThdU1", "%10.1f", "%"),  shown(net::L2uthd, "ThdU2", "%10.1f", "%"),  shown(net::L3uthd, "ThdU3", "%10.1f", "%"),
    shown(net::L1ithd, "ThdI1", "%10.1f", "%"),  shown(net::L2ithd, "ThdI2", "%10.1f", "%"),  shown(net::L3ithd, "ThdI3", "%10.1f", "%"),
}};
// clang-format on

} // namespace

const std::array<NetField, kNetFieldCount>& netFields()
{
    return kNetFields;
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

namespace {

constexpr std::array<EnergyField, kEnergyFieldCount> kEnergyFields{{
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

} // namespace

const std::array<EnergyField, kEnergyFieldCount>& energyFields()
{
    return kEnergyFields;
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

namespace {

QString manufactureYearText(const VersionRecord& rec)
{
    return formatNumber("%d", manufactureYear(rec));
}

QString manufactureMonthText(const VersionRecord& rec)
{
    return formatNumber("%d", manufactureMonth(rec));
}

constexpr std::array<VersionField, kVersionFieldCount> kVersionFields{{
    {"Programversion", versionText},
    {"Programdate", versionDateText},
    {"Gyartasiszam", factoryNumberText},
    {"Gyartaseve", manufactureYearText},
    {"Gyartashonapja", manufactureMonthText},
}};

} // namespace

const std::array<VersionField, kVersionFieldCount>& versionFields()
{
    return kVersionFields;
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

namespace {

constexpr std::array<DemandField, kDemandFieldCount> kDemandFields{{
    {"EPenabled", epEnabled},
    {"EPprevious", epPrevious},
    {"EPestimated", epEstimated},
    {"EPcurrent", epCurrent},
    {"EPtimeelapsed", epElapsed},
}};

} // namespace

const std::array<DemandField, kDemandFieldCount>& demandFields()
{
    return kDemandFields;
}

QString demandFieldText(const EpRecord& rec, const DemandField& field)
{
    return formatNumber("%u", static_cast<unsigned>(field.value(rec)));
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

// ---------------------------------------------------------------------------------------------
// The measurement page's layout

namespace {

template <typename Table> consteval int indexIn(const Table& table, std::string_view name)
{
    for (std::size_t i = 0; i < table.size(); ++i)
        if (std::string_view(table[i].name) == name)
            return int(i);
    return -1;
}

// The cell showing the field of control name `name`; "" is a blank cell. A name no table holds
// does not compile.
consteval MeasureCell cell(std::string_view name)
{
    if (name.empty())
        return {};
    const std::pair<MeasureSource, int> found[] = {
        {MeasureSource::Net, indexIn(kNetFields, name)},
        {MeasureSource::Energy, indexIn(kEnergyFields, name)},
        {MeasureSource::Version, indexIn(kVersionFields, name)},
        {MeasureSource::Demand, indexIn(kDemandFields, name)},
    };
    for (const auto& [source, index] : found)
        if (index >= 0)
            return {source, static_cast<std::uint8_t>(index)};
    throw "no shown field has this name";
}

constexpr const char* kGridHeaders[] = {"HeaderL1", "HeaderL2", "HeaderL3", "HeaderSum"};

// The L1 column, then L2, L3 and the sum of the phases. In row 11 the L13 voltage stands in the L3
// column, in row 12 the L13 angle in the L2 column, as on the meter's own display.
// clang-format off
constexpr MeasureCell kGrid[] = {
    cell("L1urms"),    cell("L2urms"),    cell("L3urms"),    cell(""),
    cell("L1irms"),    cell("L2irms"),    cell("L3irms"),    cell(""),
    cell("L1fi"),      cell("L2fi"),      cell("L3fi"),      cell(""),
    cell("L1f"),       cell("L2f"),       cell("L3f"),       cell(""),
    cell("L1p"),       cell("L2p"),       cell("L3p"),       cell("Sump"),
    cell("L1q"),       cell("L2q"),       cell("L3q"),       cell("Sumq"),
    cell("L1s"),       cell("L2s"),       cell("L3s"),       cell("Sums"),
    cell("L1pf"),      cell("L2pf"),      cell("L3pf"),      cell("Sumpf"),
    cell("L1uthd"),    cell("L2uthd"),    cell("L3uthd"),    cell(""),
    cell("L1ithd"),    cell("L2ithd"),    cell("L3ithd"),    cell(""),
    cell("L12urms"),   cell("L23urms"),   cell("L13urms"),   cell(""),
    cell("L12fi"),     cell("L13fi"),     cell(""),          cell(""),
    cell("L1EPplus"),  cell("L2EPplus"),  cell("L3EPplus"),  cell("L123EPplus"),
    cell("L1EPminus"), cell("L2EPminus"), cell("L3EPminus"), cell("L123EPminus"),
    cell("L1EQplus"),  cell("L2EQplus"),  cell("L3EQplus"),  cell("L123EQplus"),
    cell("L1EQminus"), cell("L2EQminus"), cell("L3EQminus"), cell("L123EQminus"),
};
// clang-format on

constexpr MeasureCell kVersionCells[] = {
    cell("Programversion"), cell("Programdate"),    cell("Gyartasiszam"),
    cell("Gyartaseve"),     cell("Gyartashonapja"),
};

constexpr MeasureCell kDemandCells[] = {
    cell("EPenabled"), cell("EPprevious"), cell("EPestimated"), cell("EPcurrent"), cell("EPtimeelapsed"),
};

static_assert(std::size(kGrid) % std::size(kGridHeaders) == 0);

} // namespace

const char* MeasureCell::name() const
{
    switch (source) {
    case MeasureSource::Net:
        return kNetFields[index].name;
    case MeasureSource::Energy:
        return kEnergyFields[index].name;
    case MeasureSource::Version:
        return kVersionFields[index].name;
    case MeasureSource::Demand:
        return kDemandFields[index].name;
    case MeasureSource::None:
        break;
    }
    return nullptr;
}

const std::array<MeasureGroup, kMeasureGroupCount>& measureGroups()
{
    static constexpr std::array<MeasureGroup, kMeasureGroupCount> kGroups{{
        {"GroupBox6", kGridHeaders, std::size(kGridHeaders), 1, kGrid},
        {"GroupBox5", {}, 1, 1, kVersionCells},
        {"GroupBox7", {}, 1, 1, kDemandCells},
    }};
    return kGroups;
}

bool MeasureRecords::has(MeasureSource source) const
{
    switch (source) {
    case MeasureSource::Net:
        return net != nullptr;
    case MeasureSource::Energy:
        return counters != nullptr;
    case MeasureSource::Version:
        return version != nullptr;
    case MeasureSource::Demand:
        return ep != nullptr;
    case MeasureSource::None:
        break;
    }
    return false;
}

QString measureCellText(const MeasureCell& cell, const MeasureRecords& records)
{
    if (cell.blank())
        return QString();
    if (!records.has(cell.source))
        return QLatin1String(kNoValueText);
    switch (cell.source) {
    case MeasureSource::Net:
        return netFieldText(*records.net, kNetFields[cell.index]);
    case MeasureSource::Energy:
        return energyFieldText(*records.counters, kEnergyFields[cell.index]);
    case MeasureSource::Version:
        return kVersionFields[cell.index].text(*records.version);
    case MeasureSource::Demand:
        return demandFieldText(*records.ep, kDemandFields[cell.index]);
    case MeasureSource::None:
        break;
    }
    return QString();
}

const std::array<IoLamp, kIoLampCount>& ioLamps()
{
    static constexpr std::array<IoLamp, kIoLampCount> kLamps{{
        {"Output1", "Label99", kIoOutput1, true},
        {"Output2", "Label100", kIoOutput2, true},
        {"Input1", "Label101", kIoInput1, false},
        {"Input2", "Label102", kIoInput2, false},
        {"Input3", "Label103", kIoInput3, false},
    }};
    return kLamps;
}

} // namespace kvam
