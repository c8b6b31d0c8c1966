#pragma once

#include "records/Records.h"

#include <QString>

#include <array>
#include <vector>

namespace kvam {

/// What the measurements say may be wired wrongly.
enum class WiringHintKind
{
    MissingVoltage,     ///< a phase voltage far below nominal: fuse, tap or voltage input
    ReversedPhaseOrder, ///< the voltages turn L1-L3-L2
    ReversedCt,         ///< negative active power on a loaded phase: current transformer reversed
    CtOnOtherPhase,     ///< a poor power factor on a loaded phase: its transformer sits on another phase
};

struct WiringHint
{
    WiringHintKind kind;
    int phase;   ///< 1..3; 0 for the phase order, which concerns all three
    float value; ///< what was measured: the voltage (V), active power (kW) or power factor; 0 for the order
};

/// The limits the hints are judged by; each is explained where the table is defined.
struct WiringThresholds
{
    float loadedFraction;         ///< a phase is loaded from this fraction of its nominal current
    float minPowerFactor;         ///< |PF| below this on a loaded phase: transformer on another phase
    float missingVoltageFraction; ///< a phase voltage below this fraction of nominal is missing
};
extern const WiringThresholds kWiringThresholds;

/// The nominal primary values of each phase the hints compare with, and the arrangement.
struct WiringReference
{
    std::array<float, 3> unom{230.0f, 230.0f, 230.0f}; ///< V
    std::array<float, 3> inom{5.0f, 5.0f, 5.0f};       ///< A
    bool threePhase = true;                            ///< false: single-phase arrangement, only L1 is judged
};

/// The reference from the meter's records: the nominal values of the calibration (RAM3 Calrms, 230 V
/// and 5 A while not held or unusable) times the transformer ratios (RAM2 Ratio, 1 while not held or
/// unusable), and the arrangement (three-phase while RAM2 is not held). A null record is not held.
WiringReference wiringReference(const Ram2Image* ram2, const Ram3Image* ram3);

/// The hints of one measurement record: the phase order first (judged only when all three voltages
/// are present), then by phase a missing voltage (and nothing else for that phase) or a reversed
/// or misplaced current transformer. Values that are not finite give no hint.
std::vector<WiringHint> wiringHints(const NetRecord& net, const WiringReference& reference);

/// The hint as the user reads it, in the language now shown.
QString wiringHintText(const WiringHint& hint);
/// Every hint on a line of its own, or the text for a sound installation when there are none.
QString wiringHintsText(const std::vector<WiringHint>& hints);

} // namespace kvam
