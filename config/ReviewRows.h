#pragma once

#include "config/ConfigFields.h"
#include "config/FieldUnits.h"
#include "records/RecordDiff.h"

#include <QList>
#include <QString>

#include <span>
#include <vector>

class QWidget;

namespace kvam {

// What a write changes, element by element, as the user knows the fields: by the captions and in
// the forms the window's editors show. Nothing here keeps a caption or a layout of its own: the
// captions and item texts are read from the window's controls as they are shown now (so in the
// language shown), the controls are found by the configuration tables.

/// One changed element as the write review lists it.
struct ReviewRow
{
    MemoryRecord record = MemoryRecord::Ram2;
    QString caption;  ///< the editor's caption, in the language shown
    QString name;     ///< the record table's name: "Ratio[1]", "Zajzar"
    QString meter;    ///< what the meter holds, as the editor would show it
    QString proposed; ///< what the write puts there
    QString unit;     ///< "%", "mA", "s" ..., empty where the value has none
};

/// The rows of `changes` (FieldChange::before the meter's, after the new value), in their order,
/// with captions and values taken from the controls under `window`.
std::vector<ReviewRow> reviewRows(const QWidget* window, std::span<const FieldChange> changes);

/// The configuration table's entry of a changed field; nullptr where no table has it (RAM1, carried
/// bytes).
const ConfigField* configFieldOf(const FieldChange& change);

/// The controls under `window` that show element `index` of `field`: the numeric edit, drop-down box
/// or lamp group of a plain field; for a composed field the controls that make the element up (a
/// single-element field all of them, otherwise those in the element's own group box, the group
/// boxes taken in the order of the controls). Empty where the element has none.
QList<QWidget*> elementControls(const QWidget* window, const ConfigField& field, std::size_t index);

/// A control's caption as the window shows it, without a closing colon: a button's or check box's
/// own text, a labelled field's caption, the caption label named after the control ("…Label"), or
/// else the label standing next to it on its left in the same row; empty when none of these is
/// there (the caller then takes the group box's title).
QString controlCaption(const QWidget* control);

/// The title of the nearest group box around `control`; empty when there is none.
QString groupCaption(const QWidget* control);

/// The two values of a change as the editor shows them: a number in the edit's display format, a
/// list code as its item, a lamp mask as the lamps that differ ("+" lit, "−" dark, each column
/// with its own states); a composed value, a code without an item and a field without an editor
/// as the plain number.
struct ValueTexts
{
    QString before;
    QString after;
};
ValueTexts valueTexts(const QWidget* window, const FieldChange& change);

} // namespace kvam
