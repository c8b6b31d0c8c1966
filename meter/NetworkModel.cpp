#include "meter/NetworkModel.h"

#include <cmath>

namespace kvam {

namespace {

constexpr double kTwoPi = 6.283185307179586;

double wave(double t, double period, double phase = 0.0)
{
    return std::sin(kTwoPi * t / period + phase);
}

bool inWindow(double t, double period, double start, double length)
{
    const double pos = std::fmod(t, period);
    const double p = pos < 0 ? pos + period : pos;
    return p >= start && p < start + length;
}

} // namespace

NetworkSnapshot networkAt(double t)
{
    using W = DisturbanceWindows;
    NetworkSnapshot s;

    s.u[0] = 231.0 + 1.5 * wave(t, 61.0);
    s.u[1] = 228.6 + 1.2 * wave(t, 67.0, 1.0);
    s.u[2] = 230.2 + 1.8 * wave(t, 73.0, 2.0);
    if (inWindow(t, W::kL1DipPeriod, W::kL1DipStart, W::kL1DipLength))
        s.u[0] *= 0.82;
    if (inWindow(t, W::kL2DipPeriod, W::kL2DipStart, W::kL2DipLength))
        s.u[1] *= 0.80;

    s.i[0] = 3.4 + 0.9 * wave(t, 41.0);
    s.i[1] = 2.6 + 0.7 * wave(t, 47.0, 1.0);
    s.i[2] = 4.0 + 1.1 * wave(t, 53.0, 2.0);
    if (inWindow(t, W::kL3SurgePeriod, W::kL3SurgeStart, W::kL3SurgeLength))
        s.i[2] = 6.4 + 0.2 * wave(t, 2.3);

    // L2 swings between slightly capacitive and inductive, so both reactive counters move.
    s.fi[0] = 24.0 + 6.0 * wave(t, 59.0);
    s.fi[1] = 12.0 + 18.0 * wave(t, 83.0, 0.5);
    s.fi[2] = 31.0 + 5.0 * wave(t, 79.0, 1.0);

    const double f = 50.0 + 0.04 * wave(t, 53.0);
    s.f = {f, f + 0.002 * wave(t, 3.1), f - 0.002 * wave(t, 3.7)};

    s.uAngle = {0.0, 240.0 + 0.6 * wave(t, 97.0), 120.0 - 0.5 * wave(t, 89.0)};
    return s;
}

HarmonicSpectrum harmonicSpectrumAt(double t, int channel)
{
    HarmonicSpectrum bars{};
    bars[0] = 1000;
    if (channel < 0 || channel > 5)
        return bars;
    const bool current = channel >= 3;
    // Third harmonic in percent of the fundamental; the higher odd ones fall off geometrically.
    const double third = current ? 14.0 + 3.0 * wave(t, 71.0, channel) : 2.2 + 0.4 * wave(t, 83.0, channel);
    const double decay = current ? 0.62 : 0.55;
    double amplitude = third;
    for (int n = 3; n <= kHarmonicBars; n += 2) {
        bars[n - 1] = static_cast<std::uint16_t>(std::lround(amplitude * 10.0));
        amplitude *= decay;
    }
    return bars;
}

double spectrumThd(const HarmonicSpectrum& bars)
{
    if (bars[0] == 0)
        return 0.0;
    double sum = 0.0;
    for (int n = 1; n < kHarmonicBars; ++n)
        sum += double(bars[n]) * double(bars[n]);
    return std::sqrt(sum) / double(bars[0]) * 100.0;
}

} // namespace kvam
