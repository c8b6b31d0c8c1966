#pragma once

#include "texts/Language.h"

#include <QList>
#include <QStringList>

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
/// messages shown from now on speak (currentText); a widget with the property kRetranslateProperty
/// (platform/PageParts.h) then gets a QEvent::LanguageChange to build its composed texts again.
/// Switching to the language already shown changes nothing.
void applyLanguage(const QList<QWidget*>& windows, Language language);

/// The names used by applyLanguage that do not name exactly one fitting control in `windows`: a
/// text key naming no control, several, or one that shows no text; a list box that is missing or
/// not a drop-down box; a label copy's source or target; a lamp group missing, or one without a
/// lamp of each copied bit (reported as "Group bit N"). Empty when everything is found.
QStringList missingControls(const QList<QWidget*>& windows);

} // namespace kvam
