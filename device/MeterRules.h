#pragma once

#include "records/Records.h"

#include <cstdint>

namespace kvam {

/// The only firmware major version this program works with; the window's caption names it too.
inline constexpr int kSupportedMajorVersion = 3;

/// Whether a meter reporting this firmware major version may be worked with.
constexpr bool firmwareSupported(int majorVersion)
{
    return majorVersion == kSupportedMajorVersion;
}

/// Measuring arrangements 0..4 are three-phase; 5 is single-phase and uses only the L1 column.
constexpr bool threePhaseArrangement(int arrangement)
{
    return arrangement <= 4;
}

/// Module 1's codes (RAM3 Modulconfig, bits 0 to 3): none, two outputs, two outputs and three
/// inputs.
inline constexpr int kModul1Codes = 3;
inline constexpr int kModul1WithInputs = 2;

/// RAM2 DinPolarity: the bits of the demand limiting's sources; a set bit is the internal source.
inline constexpr std::uint16_t kTarifsourceInternal = 0x40;
inline constexpr std::uint16_t kSynchronsourceInternal = 0x80;

/// Without the module that has inputs, synchronisation and tariff can only be internal. A code no
/// module has (the factory record not read, or a module this program does not know) forces nothing.
constexpr bool sourcesForcedInternal(int modul1)
{
    return modul1 >= 0 && modul1 < kModul1Codes && modul1 != kModul1WithInputs;
}

/// The meter's rules on a configuration record, given the factory record it goes with: every write
/// of RAM2 passes through here.
inline void applyMeterRules(Ram2Image& ram2, const Ram3Image& ram3)
{
    if (!sourcesForcedInternal(get(ram3, ram3::Modulconfig) & 15))
        return;
    set(ram2, ram2::DinPolarity,
        static_cast<std::uint16_t>(get(ram2, ram2::DinPolarity) | kTarifsourceInternal |
                                   kSynchronsourceInternal));
}

} // namespace kvam
