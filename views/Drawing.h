#pragma once

#include "measure/PhasorGeometry.h"
#include "measure/PhasorInput.h"

#include <QImage>

namespace kvam {

/// Which parts of the phasor diagram are drawn (the page's three check boxes).
struct PhasorOptions
{
    bool voltage = true;   ///< voltage arrows, their labels and the circle through their tips
    bool current = false;  ///< current arrows
    bool provider = false; ///< the symmetric supply star around O'
};

/// The grid of the diagram (five circles, six diameters) rendered once and reused while the image
/// size and the zoomed radii stay the same: it is most of the drawing's cost and rarely changes.
struct PhasorGridCache
{
    QImage layer;
    double gridRadius = -1;
    double referenceLength = -1;
};

/// Paints the whole phasor diagram anew into `image` and returns the values it was drawn from.
/// A null image only gets the values computed. With a cache the grid comes from its layer; the
/// picture is the same.
PhasorResult DrawPhasorDiagram(QImage& image, const PhasorInput& input, const PhasorOptions& options,
                               PhasorGridCache* gridCache = nullptr);

} // namespace kvam
