#pragma once

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

} // namespace kvam
