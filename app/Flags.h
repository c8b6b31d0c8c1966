#pragma once

#include <QPixmap>

namespace kvam {

/// Small national flags for the language switch, drawn rather than shipped as files.
QPixmap hungarianFlag(int width, int height);
QPixmap englishFlag(int width, int height);

} // namespace kvam
