#include "measure/WiringHints.h"

#include "device/MeterRules.h"
#include "measure/PhasorGeometry.h"
#include "platform/NumberFormat.h"
#include "texts/UiTexts.h"

#include <QStringList>

#include <cmath>

namespace kvam {

const WiringThresholds kWiringThresholds = {
    // A phase is loaded from a tenth of its nominal current: below it a current transformer's
    // phase error and the meter's angle resolution grow, and the light load of a quiet hour (an
    // idle transformer, a capacitor bank, a generator's own consumption) may itself have a poor or
    // even reversed power flow. Only a phase that carries real load tells how it is wired.
    0.10f,
    // A current transformer on another phase turns its current by 120 degrees: a resistive load
    // then reads a power factor of 0.5, and an inductive one less or more depending on the
    // direction of the turn. Loaded installations run at 0.8 or better (poorer ones pay for their
    // reactive energy), so a loaded phase below 0.55 is far likelier a misplaced transformer than
    // its load.
    0.55f,
    // A phase voltage below half of nominal is missing: the supply stays within ±10 % and a sag
    // deep enough rarely lasts long enough to be read, while a blown fuse or a loose voltage tap
    // leaves only what the other phases couple into the open input, typically well under half.
    0.50f,
};

namespace {

/// A nominal value usable as a reference: finite and at least 1; otherwise `fallback`.
float nominalOr(float value, float fallback)
{
    return std::isfinite(value) && value >= 1.0f ? value : fallback;
}

/// A transformer ratio usable to scale with: finite and positive; otherwise 1.
float ratioOr(float value)
{
    return std::isfinite(value) && value > 0.0f ? value : 1.0f;
}

struct PhaseFields
{
    Field<net::Record, FieldType::f32> u, i, p, pf;
};
constexpr PhaseFields kPhases[3] = {
    {net::L1urms, net::L1irms, net::L1p, net::L1pf},
    {net::L2urms, net::L2irms, net::L2p, net::L2pf},
    {net::L3urms, net::L3irms, net::L3p, net::L3pf},
};

} // namespace

WiringReference wiringReference(const Ram2Image* ram2, const Ram3Image* ram3)
{
    WiringReference r;
    for (std::size_t ph = 0; ph < 3; ++ph) {
        const std::size_t u = 2 * ph;
        const std::size_t i = 2 * ph + 1;
        const float uRatio = ram2 ? ratioOr(get(*ram2, ram2::Ratio, u)) : 1.0f;
        const float iRatio = ram2 ? ratioOr(get(*ram2, ram2::Ratio, i)) : 1.0f;
        r.unom[ph] = (ram3 ? nominalOr(get(*ram3, ram3::Calrms, u), 230.0f) : 230.0f) * uRatio;
        r.inom[ph] = (ram3 ? nominalOr(get(*ram3, ram3::Calrms, i), 5.0f) : 5.0f) * iRatio;
    }
    if (ram2)
        r.threePhase = threePhaseArrangement(int(get(*ram2, ram2::Elrendezes)));
    return r;
}

std::vector<WiringHint> wiringHints(const NetRecord& net, const WiringReference& ref)
{
    const WiringThresholds& t = kWiringThresholds;
    std::vector<WiringHint> hints;
    const int phases = ref.threePhase ? 3 : 1;
    bool voltagesPresent = true;
    for (int ph = 0; ph < phases; ++ph) {
        const PhaseFields& f = kPhases[ph];
        const auto k = std::size_t(ph);
        const float u = get(net, f.u);
        const float i = get(net, f.i);
        const float p = get(net, f.p);
        const float pf = get(net, f.pf);
        if (!std::isfinite(u) || u < t.missingVoltageFraction * ref.unom[k]) {
            voltagesPresent = false;
            // Without its voltage the phase's power and power factor say nothing of its current.
            if (std::isfinite(u))
                hints.push_back({WiringHintKind::MissingVoltage, ph + 1, u});
            continue;
        }
        if (!std::isfinite(i) || i < t.loadedFraction * ref.inom[k])
            continue;
        if (std::isfinite(p) && p < 0.0f)
            hints.push_back({WiringHintKind::ReversedCt, ph + 1, p / 1000.0f});
        if (std::isfinite(pf) && std::fabs(pf) < t.minPowerFactor)
            hints.push_back({WiringHintKind::CtOnOtherPhase, ph + 1, pf});
    }
    if (ref.threePhase && voltagesPresent) {
        // The phasor page's own rule, so the hint and the diagram's "PHASE ORDER" never disagree.
        const float u2 = get(net, net::L2urms);
        const float u3 = get(net, net::L3urms);
        const float fi12 = get(net, net::L12fi);
        const float fi13 = get(net, net::L13fi);
        if (std::isfinite(fi12) && std::isfinite(fi13) &&
            !isPositivePhaseOrder(arrowTipOffset(u2, fi12), arrowTipOffset(u3, fi13)))
            hints.insert(hints.begin(), {WiringHintKind::ReversedPhaseOrder, 0, 0.0f});
    }
    return hints;
}

QString wiringHintText(const WiringHint& hint)
{
    switch (hint.kind) {
    case WiringHintKind::MissingVoltage:
        return currentText("WiringHint.MissingVoltage")
            .arg(hint.phase)
            .arg(formatNumber("%.1f", double(hint.value)));
    case WiringHintKind::ReversedPhaseOrder:
        return currentText("WiringHint.ReversedPhaseOrder");
    case WiringHintKind::ReversedCt:
        return currentText("WiringHint.ReversedCt")
            .arg(hint.phase)
            .arg(formatNumber("%.2f", double(hint.value)));
    case WiringHintKind::CtOnOtherPhase:
        break;
    }
    return currentText("WiringHint.CtOnOtherPhase")
        .arg(hint.phase)
        .arg(formatNumber("%.2f", double(hint.value)));
}

QString wiringHintsText(const std::vector<WiringHint>& hints)
{
    if (hints.empty())
        return currentText("WiringHint.None");
    QStringList lines;
    for (const WiringHint& h : hints)
        lines << wiringHintText(h);
    return lines.join(QLatin1Char('\n'));
}

} // namespace kvam
