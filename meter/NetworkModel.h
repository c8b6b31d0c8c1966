#pragma once

#include <array>
#include <cstdint>

namespace kvam {

/// The three-phase network at one instant, as the meter's inputs see it (secondary values,
/// before the transformer ratios). Index 0..2 is L1..L3.
struct NetworkSnapshot
{
    std::array<double, 3> u{};  ///< phase voltage rms, V
    std::array<double, 3> i{};  ///< current rms, A
    std::array<double, 3> fi{}; ///< angle of the current behind its voltage, degrees (positive: inductive)
    std::array<double, 3> f{};  ///< frequency, Hz
    std::array<double, 3>
        uAngle{}; ///< angle of each voltage relative to L1 (0, about 240, about 120), degrees
};

/// Number of bars in a harmonic spectrum (bar 1 is the fundamental).
constexpr int kHarmonicBars = 20;
using HarmonicSpectrum = std::array<std::uint16_t, kHarmonicBars>;

/// The simulated network: a pure function of time, so the same instant always gives the same
/// values. Voltages around 230 V with a little unbalance, 50 Hz with a slight drift, a few amperes
/// of mostly inductive load; now and then a phase sags (L1 and L2 in turn) and L3 draws a surge.
NetworkSnapshot networkAt(double t);

/// Spectrum of a channel (harmonics channel code 0..5: L1 U, L2 U, L3 U, L1 I, L2 I, L3 I) at time
/// `t`, in tenths of a percent of the fundamental: bar 1 is 1000, then decaying odd harmonics.
HarmonicSpectrum harmonicSpectrumAt(double t, int channel);

/// Total harmonic distortion in percent: rms of bars 2..20 over the fundamental (bar 1).
double spectrumThd(const HarmonicSpectrum& bars);

/// Windows of the model's disturbances, so callers can find them without guessing.
struct DisturbanceWindows
{
    static constexpr double kL1DipPeriod = 70.0, kL1DipStart = 50.0, kL1DipLength = 1.5;
    static constexpr double kL2DipPeriod = 45.0, kL2DipStart = 30.0, kL2DipLength = 2.0;
    static constexpr double kL3SurgePeriod = 55.0, kL3SurgeStart = 40.0, kL3SurgeLength = 3.0;
};

} // namespace kvam
