#pragma once

#include <QPixmap>

class QLabel;
class QWidget;

namespace kvam {

/// Small national flags for the language switch, drawn rather than shipped as files.
QPixmap hungarianFlag(int width, int height);
QPixmap englishFlag(int width, int height);

/// A 32 x 20 flag picture called `name` at (x, 4), with the hand cursor that says it takes a click.
QLabel* flagPicture(QWidget* parent, const char* name, int x, const QPixmap& flag);

} // namespace kvam
