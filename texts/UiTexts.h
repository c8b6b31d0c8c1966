#pragma once

#include <QString>

#include <span>

namespace kvam {

/// One text of the user interface, keyed by the control that shows it: a window's title, a tab's
/// caption, a group's title, a button's or check box's text, a label's text; for a lamp or a
/// labelled field, the text of its caption label (the control name + "Label").
struct UiText
{
    const char* control;
    const char* start; ///< the text shown from start-up (UTF-8)
};

/// Every start text of the windows, one entry per control.
std::span<const UiText> uiTexts();

/// The start text of `control`; an empty text for a name that has no entry.
QString uiText(const char* control);

} // namespace kvam
