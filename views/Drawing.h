#pragma once

#include "PhasorGeometry.h"
#include "PhasorInput.h"

class QImage;

namespace kvam {

/// Which parts of the phasor diagram are drawn (the page's three check boxes).
struct PhasorOptions
{
    bool voltage = true;   ///< voltage arrows, their labels and the circle through their tips
    bool current = false;  ///< current arrows
    bool provider = false; ///< the symmetric supply star around O'
};

/// Paints the whole phasor diagram anew into `image` and returns the values it was drawn from.
/// A null image only gets the values computed.
PhasorResult DrawPhasorDiagram(QImage& image, const PhasorInput& input, const PhasorOptions& options);

} // namespace kvam
