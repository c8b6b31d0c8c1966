#pragma once

#include "texts/Language.h"

#include <QList>
#include <QStringList>

#include <optional>

class QWidget;

namespace kvam {

/// Shows the texts and drop-down lists of `language` in `windows` (the main window; the dialogs it
/// owns are reached through it, and listing them as well changes nothing). In order: the
/// selections of the rebuilt boxes are remembered, the texts of the language are set, the lists
/// rebuilt, the lamp captions copied by status bit from the dynamic-error group, the second
/// outputs' labels and lists copied from the first outputs', and every remembered selection
/// restored by index (a box without a selection keeps none). The boxes emit no signal the whole
/// time, so no selection handler runs and the panels shown stay as they were. Only captions,
/// lists and selections change; then `language` becomes the current language, which the
/// messages shown from now on speak (currentText). Switching to the language already shown
/// changes nothing.
/// Last, every widget under `windows` whose property kFollowsLanguageProperty is true is sent a
/// QEvent::LanguageChange, so texts it builds from the data it shows are built anew.
void applyLanguage(const QList<QWidget*>& windows, Language language);

/// The language `window` (or the window `window` stands in) was last switched to by applyLanguage;
/// none while it shows its start texts. Texts built for a window's data (the write review, the
/// report, the marks) are built in it, so they read as the window's own controls do.
std::optional<Language> shownLanguage(const QWidget* window);

/// Set to true on a widget that builds texts of its own (from currentText) and wants to hear of a
/// switch.
inline constexpr char kFollowsLanguageProperty[] = "followsLanguage";

/// The names used by applyLanguage that do not name exactly one fitting control in `windows`: a
/// text key naming no control, several, or one that shows no text; a list box that is missing or
/// not a drop-down box; a label copy's source or target; a lamp group missing, or one without a
/// lamp of each copied bit (reported as "Group bit N"). Empty when everything is found.
QStringList missingControls(const QList<QWidget*>& windows);

} // namespace kvam
