#pragma once

#include "measure/PhasorInput.h"

#include <array>
#include <cstddef>

namespace kvam {

/// A point or an offset in image pixels (origin top left, y growing downwards).
struct Vec2
{
    float x = 0;
    float y = 0;
};

/// Radii of the 100 % voltage circle (R) and the 100 % current circle (Ri), in pixels.
struct PhasorRadii
{
    int R = 0;
    int Ri = 0;
};

/// R = round(cx / 1.25), Ri = round(0.75 * cx / 1.25) with cx = width / 2, ties to even.
PhasorRadii scaleRadii(int width);

/// Tip offset of an arrow of length `length` at `angleDeg` degrees: 0 points up, growing angles
/// turn counter-clockwise on the screen.
Vec2 arrowTipOffset(float length, float angleDeg);

/// An arrow shorter than 15 pixels in both directions is drawn without a head.
bool hasArrowHead(Vec2 tipOffset);

/// The two barb ends of an arrowhead: 15 pixels back from the tip, 30 degrees either side.
struct ArrowBarbs
{
    Vec2 b1;
    Vec2 b2;
};
ArrowBarbs arrowBarbs(Vec2 tip, float angleDeg);

/// The six arrows of the diagram, in drawing order.
enum PhasorArrowIndex : std::size_t
{
    ArrowU1,
    ArrowU2,
    ArrowU3,
    ArrowI1,
    ArrowI2,
    ArrowI3
};

/// One arrow: its length and angle as drawn, and the tip offset from the diagram centre.
struct PhasorArrow
{
    float length = 0;
    float angle = 0;
    Vec2 tip;
};

/// Lengths, angles and tip offsets of U1, U2, U3, I1, I2, I3 for the given radii.
std::array<PhasorArrow, 6> phasorArrows(const PhasorInput& input, PhasorRadii radii);

/// Circle through the three voltage tips: centre O' (Ox, Oy) relative to the diagram centre,
/// radius r, and Uoo' = |O'| / ZoomU. All zero when the tips do not define a circle.
struct CircleResult
{
    float Ox = 0;
    float Oy = 0;
    float r = 0;
    float Uoo = 0;
    bool CircleValid = false;
};
CircleResult CircleThroughPoints(Vec2 p1, Vec2 p2, Vec2 p3, float zoomU);

/// Line-to-line magnitudes rebuilt from the phase phasors and their unbalance in percent.
struct LineVoltages
{
    float D12 = 0;
    float D13 = 0;
    float D23 = 0;
    float Aszimmetria2 = 0;
};
LineVoltages LineVoltagesFromPhases(float Fi13, float Fi12, float U3, float U2, float U1);

/// Negative-sequence unbalance (percent) from three line-to-line magnitudes; 0 where undefined.
float UnbalanceFactor(float a, float b, float c);

/// Positive phase order when the U2 tip is not left of the U3 tip.
bool isPositivePhaseOrder(Vec2 u2Tip, Vec2 u3Tip);

/// Everything the diagram shows besides the grid, computed before any drawing.
struct PhasorResult
{
    PhasorRadii radii;
    std::array<PhasorArrow, 6> arrows{};
    CircleResult circle;
    float Aszimmetria = 0;
    float Aszimmetria2 = 0;
    float D12 = 0;
    float D13 = 0;
    float D23 = 0;
    bool positiveOrder = true;
};

/// Derived values for an image `width` pixels wide.
PhasorResult computePhasor(const PhasorInput& input, int width);

} // namespace kvam
