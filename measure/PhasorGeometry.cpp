#include "measure/PhasorGeometry.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace kvam {

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
constexpr float kTolerance = 0.0001f;
constexpr float kHeadLength = 15.0f;

bool finite(float v)
{
    return std::isfinite(v);
}

// Nearest integer, ties to even, for a value known to be finite and small (derived from a width).
int roundHalfEven(double v)
{
    return static_cast<int>(std::nearbyint(v));
}

} // namespace

PhasorRadii scaleRadii(int width)
{
    const double cx = width / 2.0;
    return {roundHalfEven(cx / 1.25), roundHalfEven(0.75 * cx / 1.25)};
}

Vec2 arrowTipOffset(float length, float angleDeg)
{
    const double a = -angleDeg * kDeg;
    return {static_cast<float>(std::sin(a) * length), static_cast<float>(-std::cos(a) * length)};
}

bool hasArrowHead(Vec2 tipOffset)
{
    return std::fabs(tipOffset.x) >= kHeadLength || std::fabs(tipOffset.y) >= kHeadLength;
}

ArrowBarbs arrowBarbs(Vec2 tip, float angleDeg)
{
    const double a1 = (30.0 - angleDeg) * kDeg;
    const double a2 = (-30.0 - angleDeg) * kDeg;
    return {
        {static_cast<float>(tip.x - kHeadLength * std::sin(a1)),
         static_cast<float>(tip.y + kHeadLength * std::cos(a1))},
        {static_cast<float>(tip.x - kHeadLength * std::sin(a2)),
         static_cast<float>(tip.y + kHeadLength * std::cos(a2))},
    };
}

std::array<PhasorArrow, 6> phasorArrows(const PhasorInput& in, PhasorRadii radii)
{
    const float R = static_cast<float>(radii.R);
    const float Ri = static_cast<float>(radii.Ri);
    auto arrow = [](float length, float angle) {
        return PhasorArrow{length, angle, arrowTipOffset(length, angle)};
    };
    return {
        arrow(in.U1 * R * in.ZoomU / in.Unom, 0.0f),
        arrow(in.U2 * R * in.ZoomU / in.Unom, in.Fi12),
        arrow(in.U3 * R * in.ZoomU / in.Unom, in.Fi13),
        arrow(in.I1 * Ri * in.ZoomI / in.Inom, in.Fi1),
        arrow(in.I2 * Ri * in.ZoomI / in.Inom, in.Fi2 + in.Fi12),
        arrow(in.I3 * Ri * in.ZoomI / in.Inom, in.Fi3 + in.Fi13),
    };
}

CircleResult CircleThroughPoints(Vec2 p1, Vec2 p2, Vec2 p3, float zoomU)
{
    const float x1 = p1.x, y1 = p1.y, x2 = p2.x, y2 = p2.y, x3 = p3.x, y3 = p3.y;
    const float m12x = (x1 + x2) / 2, m12y = (y1 + y2) / 2;
    const float d12x = x2 - x1, d12y = y2 - y1;
    const float m13x = (x1 + x3) / 2, m13y = (y1 + y3) / 2;
    const float d13x = x3 - x1, d13y = y3 - y1;

    CircleResult c;
    bool valid = true;
    float ox = 0, oy = 0;

    if (std::fabs(x2 - x1) < kTolerance) {
        if (std::fabs(y1 - y2) <= kTolerance || std::fabs(x3 - x1) <= kTolerance) {
            valid = false;
        } else {
            oy = (y1 + y2) / 2;
            ox = (d13x * m13x + d13y * m13y - d13y * oy) / d13x;
        }
    } else if (std::fabs(y2 - y1) < kTolerance) {
        if (std::fabs(x1 - x2) <= kTolerance || std::fabs(y3 - y1) <= kTolerance) {
            valid = false;
        } else {
            ox = (x1 + x2) / 2;
            oy = (d13x * m13x + d13y * m13y - d13x * ox) / d13y;
        }
    } else if (std::fabs(y3 - (y1 + (x3 - x1) * d12y / d12x)) <= kTolerance) {
        valid = false; // P3 lies on the line P1P2
    } else if (d13y == 0.0f) {
        // P1 and P3 level: their bisector is vertical. The general formula below would divide
        // by d13y and lose a perfectly good triangle.
        const float a = (d12x * m12x + d12y * m12y) / d12y;
        ox = m13x;
        oy = a - d12x * ox / d12y;
    } else {
        const float a = (d12x * m12x + d12y * m12y) / d12y;
        const float b = (d13x * m13x + d13y * m13y) / d13y;
        const float den = d13x * d12y - d12x * d13y;
        if (den == 0.0f) {
            valid = false;
        } else {
            ox = (b - a) * (d12y * d13y) / den;
            oy = a - d12x * ox / d12y;
        }
    }

    // Non-finite input or an overflowing quotient gives no circle rather than NaN coordinates.
    if (!valid || !finite(ox) || !finite(oy))
        return c;
    const float r = std::sqrt((x1 - ox) * (x1 - ox) + (y1 - oy) * (y1 - oy));
    const float uoo = std::sqrt(ox * ox + oy * oy) / zoomU;
    if (!finite(r) || !finite(uoo))
        return c;
    c.Ox = ox;
    c.Oy = oy;
    c.r = r;
    c.Uoo = uoo;
    c.CircleValid = true;
    return c;
}

LineVoltages LineVoltagesFromPhases(float Fi13, float Fi12, float U3, float U2, float U1)
{
    constexpr float k = 0.017453292f;
    const float s2 = U2 * std::sin(-Fi12 * k);
    const float c2 = U2 * std::cos(-Fi12 * k);
    const float s3 = U3 * std::sin(-Fi13 * k);
    const float c3 = U3 * std::cos(-Fi13 * k);
    auto magnitude = [](float a, float b) {
        const float m = std::sqrt(a * a + b * b);
        return finite(m) ? m : 0.0f;
    };
    LineVoltages v;
    v.D12 = magnitude(s2, U1 - c2);
    v.D13 = magnitude(s3, U1 - c3);
    v.D23 = magnitude(c2 - c3, s2 - s3);
    v.Aszimmetria2 = UnbalanceFactor(v.D23, v.D13, v.D12);
    return v;
}

float UnbalanceFactor(float a, float b, float c)
{
    // A fixed summation order keeps the result identical for every order of the arguments.
    if (a > b)
        std::swap(a, b);
    if (b > c)
        std::swap(b, c);
    if (a > b)
        std::swap(a, b);
    const double sum = double(a) + b + c;
    if (!(sum > 0))
        return 0;
    const double a2 = double(a) * a, b2 = double(b) * b, c2 = double(c) * c;
    const double sq = a2 + b2 + c2;
    const float t = static_cast<float>(3.0 - 6.0 * (a2 * a2 + b2 * b2 + c2 * c2) / (sq * sq));
    if (!(t >= 0))
        return 0;
    // Rounding can push t a hair above 1 for equal magnitudes; that is a balanced system.
    const double root = std::sqrt(std::fmin(double(t), 1.0));
    const float u = static_cast<float>(100.0 * std::sqrt((1.0 - root) / (1.0 + root)));
    return finite(u) ? u : 0.0f;
}

bool isPositivePhaseOrder(Vec2 u2Tip, Vec2 u3Tip)
{
    return u2Tip.x >= u3Tip.x;
}

PhasorResult computePhasor(const PhasorInput& input, int width)
{
    PhasorResult r;
    r.radii = scaleRadii(width);
    r.arrows = phasorArrows(input, r.radii);
    r.circle =
        CircleThroughPoints(r.arrows[ArrowU1].tip, r.arrows[ArrowU2].tip, r.arrows[ArrowU3].tip, input.ZoomU);
    const LineVoltages lv = LineVoltagesFromPhases(input.Fi13, input.Fi12, input.U3, input.U2, input.U1);
    r.D12 = lv.D12;
    r.D13 = lv.D13;
    r.D23 = lv.D23;
    r.Aszimmetria2 = lv.Aszimmetria2;
    r.Aszimmetria = UnbalanceFactor(input.U23, input.U13, input.U12);
    r.positiveOrder = isPositivePhaseOrder(r.arrows[ArrowU2].tip, r.arrows[ArrowU3].tip);
    return r;
}

} // namespace kvam
