#pragma once

#include <QRect>

class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

namespace kvam {

class Lamp;

// The pieces every page and the window are built of: each takes its objectName and its start text
// from the text table.

/// A group box called `name` at `geometry`, titled with its start text.
QGroupBox* makeGroup(QWidget* parent, const char* name, const QRect& geometry);
/// A push button called `name` at `geometry`, with its start text.
QPushButton* makeButton(QWidget* parent, const char* name, const QRect& geometry);
/// The bold caption of the lamp or field `control`: a label called `control` + "Label" showing the
/// control's start text.
QLabel* makeBoldCaption(QWidget* parent, const char* control, const QRect& geometry);
/// A 20 x 12 white lamp named `control` at (x + 22, 8) with its bold caption at (x, 6) to its
/// left: the window's link lamps.
Lamp* makeCaptionedLamp(QWidget* parent, const char* control, int x);

/// The property that names the text-table key of a control's tooltip; the language switch sets the
/// tooltip anew from it.
inline constexpr char kToolTipKeyProperty[] = "toolTipKey";
/// The property that asks for a QEvent::LanguageChange once the language switch has set the
/// texts: a page that composes texts of its own from messages builds them again in the new language.
inline constexpr char kRetranslateProperty[] = "retranslates";
/// Enables `control`, or disables it with the text of `reasonKey` as its tooltip (in the language
/// now shown, and in the next one the user switches to).
void enableOrExplain(QWidget* control, bool enabled, const char* reasonKey);

} // namespace kvam
