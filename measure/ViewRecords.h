#pragma once

#include "device/MeterRules.h"
#include "measure/PhasorInput.h"
#include "records/Records.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>

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

// ---------------------------------------------------------------------------------------------
// EP (demand) record

quint32 epPrevious(const EpRecord& rec);  ///< EPprevious
quint32 epEstimated(const EpRecord& rec); ///< EPestimated
quint32 epEnabled(const EpRecord& rec);   ///< EPenabled
quint32 epCurrent(const EpRecord& rec);   ///< EPcurrent
quint32 epElapsed(const EpRecord& rec);   ///< EPtimeelapsed, tenths dropped (integer division by 10)

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

} // namespace kvam
