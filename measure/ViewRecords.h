#pragma once

#include "device/MeterRules.h"
#include "measure/PhasorInput.h"
#include "records/Records.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kvam {

// The answer records (NetRecord, StateRecord ...) and their fields come from Records.h.

// ---------------------------------------------------------------------------------------------
// Net record

/// One displayed measurement of the Net record.
struct NetField
{
    const char* name;    ///< control name of the field showing it
    const char* logName; ///< its column in the logs ("U12"; "PFsum" for Sumpf, which is not logged)
    std::size_t offset;  ///< byte offset of the float in the record
    const char* format;  ///< printf-style format of the shown number
    float scale;         ///< shown = stored / scale (1000 for W to kW, VAr to kVAr, VA to kVA)
    const char* unit;    ///< the unit of the shown number (UTF-8); empty for the power factors
};

inline constexpr std::size_t kNetFieldCount = 39;

/// The 39 displayed fields in the order Display_Net writes them.
const std::array<NetField, kNetFieldCount>& netFields();

/// The shown text of one field (scaled and formatted with the user's decimal separator).
QString netFieldText(const NetRecord& rec, const NetField& field);

/// The shown texts of all fields, in the order of netFields().
QStringList netFieldTexts(const NetRecord& rec);

/// Nominal rms value of calibration channel 0..5 (L1 U, L1 I, L2 U, L2 I, L3 U, L3 I).
float caldataNominalRms(const CaldataRecord& cal, int channel);

inline constexpr float kDefaultUnom = 230.0f;
inline constexpr float kDefaultInom = 5.0f;

/// What the phasor diagram is drawn from: fields 0..13 from the Net record, the reference
/// magnitudes from the L1 nominal values of `cal` (kept only when finite and >= 1.0, otherwise
/// 230 V / 5 A), and the zoom factors as given.
PhasorInput makePhasorInput(const NetRecord& net, const CaldataRecord& cal, float zoomU, float zoomI);

// ---------------------------------------------------------------------------------------------
// RAM1 energy counters and the RAM2 arrangement, as the measurement page shows them

/// One energy field of the measurement page: element `index` of an i64[4] RAM1 counter.
struct EnergyField
{
    const char* name;                          ///< control name of the field
    Field<ram1::Record, FieldType::i64> field; ///< EPplus, EPminus, EQplus or EQminus
    std::size_t index;                         ///< 0 L1, 1 L2, 2 L3, 3 the sum of the phases
};

inline constexpr std::size_t kEnergyFieldCount = 16;
const std::array<EnergyField, kEnergyFieldCount>& energyFields();

/// Wh or VArh shown in kWh or kVArh: "%12.3f" of value / 1000.
QString energyFieldText(const Ram1Image& ram1, const EnergyField& field);

/// Arrangement codes 0..4 are three-phase; 5 is single-phase and uses only the L1 column.
bool threePhaseArrangement(const Ram2Image& ram2);

// ---------------------------------------------------------------------------------------------
// State record

quint32 staticErrors(const StateRecord& rec);  ///< StaticErrors
quint32 dynamicErrors(const StateRecord& rec); ///< DynamicErrors
quint32 errorMask(const StateRecord& rec);     ///< ErrorMask
quint8 ioBits(const StateRecord& rec);         ///< IoBits

/// Static errors that light the error lamp whatever the mask says: calibration, initialisation
/// and data saving (bits 20..22).
inline constexpr quint32 kAlwaysLitErrors = 0x00700000;

/// True when (ErrorMask | kAlwaysLitErrors) & StaticErrors is not zero.
bool errorLedLit(const StateRecord& rec);

/// Bits of IoBits (1 = active).
enum IoBit : quint8
{
    kIoOutput1 = 0x01,
    kIoOutput2 = 0x02,
    kIoInput1 = 0x10,
    kIoInput2 = 0x20,
    kIoInput3 = 0x40,
};

bool ioActive(const StateRecord& rec, IoBit bit);

// ---------------------------------------------------------------------------------------------
// Version record

int versionMajor(const VersionRecord& rec);
QString versionText(const VersionRecord& rec);     ///< "major.minor.build"
QString versionDateText(const VersionRecord& rec); ///< up to the first zero byte, at most 12 characters
int manufactureYear(const VersionRecord& rec);
int manufactureMonth(const VersionRecord& rec);
quint32 factoryNumber(const VersionRecord& rec);
QString factoryNumberText(const VersionRecord& rec); ///< decimal, unsigned
bool versionSupported(const VersionRecord& rec);
/// The text shown before the program ends on an unsupported meter, in the language now shown.
QString unsupportedVersionMessage(const VersionRecord& rec);

/// One field of the version group: its control name and the text it shows.
struct VersionField
{
    const char* name;
    QString (*text)(const VersionRecord& rec);
};

inline constexpr std::size_t kVersionFieldCount = 5;
/// Program version, program date, factory number, year and month of manufacture.
const std::array<VersionField, kVersionFieldCount>& versionFields();

// ---------------------------------------------------------------------------------------------
// EP (demand) record

quint32 epPrevious(const EpRecord& rec);  ///< EPprevious
quint32 epEstimated(const EpRecord& rec); ///< EPestimated
quint32 epEnabled(const EpRecord& rec);   ///< EPenabled
quint32 epCurrent(const EpRecord& rec);   ///< EPcurrent
quint32 epElapsed(const EpRecord& rec);   ///< EPtimeelapsed, tenths dropped (integer division by 10)

/// One field of the demand group: its control name and the value it shows.
struct DemandField
{
    const char* name;
    quint32 (*value)(const EpRecord& rec);
};

inline constexpr std::size_t kDemandFieldCount = 5;
/// Demand, previous, estimated, current and elapsed time, in the order the group shows them.
const std::array<DemandField, kDemandFieldCount>& demandFields();

/// The value as a whole number ("%u").
QString demandFieldText(const EpRecord& rec, const DemandField& field);

// ---------------------------------------------------------------------------------------------
// Harmonics record

inline constexpr int kHarmonicCount = static_cast<int>(harmonics::Amplitude.count);
using HarmonicAmplitudes = std::array<quint16, kHarmonicCount>; ///< tenths of a percent

int harmonicsChannel(const HarmonicsRecord& rec); ///< Channel
float harmonicsThd(const HarmonicsRecord& rec);   ///< THD (unaligned)
HarmonicAmplitudes harmonicsAmplitudes(const HarmonicsRecord& rec);

/// "L1 U", "L2 U", "L3 U", "L1 I", "L2 I", "L3 I" for codes 0..5, "???" otherwise.
QString harmonicsChannelTitle(int code);

/// Chart title: channel title and THD, "%s THD: %4.1f %%".
QString harmonicsTitle(const HarmonicsRecord& rec);

/// Bar heights in percent: amplitude / 10.
std::array<double, kHarmonicCount> harmonicsBarHeights(const HarmonicAmplitudes& amplitudes);

// ---------------------------------------------------------------------------------------------
// The measurement page's layout: which value stands in which group, row and column, under which
// captions. The page builds its fields from it and the report renders its sections from it, so
// the two show the same texts in the same places.

/// Where the value of a field of the measurement page comes from.
enum class MeasureSource : std::uint8_t
{
    None,    ///< a blank cell
    Net,     ///< netFields()[index] of the Net record
    Energy,  ///< energyFields()[index] of the RAM1 counters
    Version, ///< versionFields()[index] of the version record
    Demand,  ///< demandFields()[index] of the EP record
};

/// One cell of a group: a value field, or a blank.
struct MeasureCell
{
    MeasureSource source = MeasureSource::None;
    std::uint8_t index = 0;

    bool blank() const { return source == MeasureSource::None; }
    /// The field's control name, which is also the key of its caption in the text table; null for
    /// a blank cell.
    const char* name() const;
};

/// A group box of value fields in rows and columns.
struct MeasureGroup
{
    const char* key; ///< the group box's control name, the key of its title
    /// The keys of the column headers, which are also their labels' names; none: no header row.
    std::span<const char* const> headers;
    std::size_t columns;
    std::size_t singlePhaseColumns;     ///< the leading columns a single-phase arrangement shows
    std::span<const MeasureCell> cells; ///< row by row, `columns` cells a row

    std::size_t rows() const { return cells.size() / columns; }
    const MeasureCell& at(std::size_t row, std::size_t column) const { return cells[row * columns + column]; }
    /// The columns shown: all of them, or on a single-phase arrangement the leading ones.
    std::size_t shownColumns(bool threePhase) const { return threePhase ? columns : singlePhaseColumns; }
};

enum MeasureGroupId : std::size_t
{
    kMeasuredValues, ///< the measured values and energy counters, L1, L2, L3 and sum columns
    kVersionGroup,   ///< version and factory data
    kDemandGroup,    ///< demand
    kMeasureGroupCount
};

/// The groups of value fields in the order the page shows them (top left to bottom right).
const std::array<MeasureGroup, kMeasureGroupCount>& measureGroups();

/// The records the fields show; a null record has not arrived yet.
struct MeasureRecords
{
    const NetRecord* net = nullptr;
    const Ram1Image* counters = nullptr;
    const VersionRecord* version = nullptr;
    const EpRecord* ep = nullptr;

    /// Whether the record `source` reads from is here (a blank cell reads none and never is).
    bool has(MeasureSource source) const;
};

/// What a field shows until its record arrives.
inline constexpr char kNoValueText[] = "-";

/// The text `cell` shows: its record's value formatted as the page shows it (netFieldText,
/// energyFieldText, the version texts, demandFieldText), kNoValueText while the record is missing,
/// empty for a blank cell.
QString measureCellText(const MeasureCell& cell, const MeasureRecords& records);

/// A lamp of the inputs and outputs group.
struct IoLamp
{
    const char* name;    ///< the lamp's control name
    const char* caption; ///< the key of its caption, which is also its caption label's name
    IoBit bit;
    bool output; ///< an output (lit yellow) or an input (lit lime)
};

inline constexpr std::size_t kIoLampCount = 5;
/// Outputs 1 and 2, then inputs 1 to 3, as the page shows them from the top.
const std::array<IoLamp, kIoLampCount>& ioLamps();

} // namespace kvam
