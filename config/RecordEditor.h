#pragma once

#include "device/FieldTable.h"

#include <QList>
#include <QRect>
#include <QtGlobal>

#include <cstdint>
#include <span>

class QComboBox;
class QLabel;
class QWidget;

namespace kvam {

class LampGroup;
class NumericSpin;

// Showing a memory record in the controls of a page and packing the controls back, by the
// record's configuration table. Each page handles the controls it holds: a control of the table
// that is not on the page is left alone (its field stays as it is in the image when packing).
// Composed fields are the page's own business.

/// Fills the page's numeric edits, drop-down boxes and lamp groups from `image`. A value beyond an
/// edit's limits shows as the nearer limit; a code outside a box's list leaves it without a
/// selection. Emits no selection or value signals.
void displayFields(QWidget* page, std::span<const ConfigField> table, std::span<const std::uint8_t> image);

/// Packs the page's numeric edits, drop-down boxes and lamp groups into `image`: scaled values
/// rounded to the nearest integer, halves to even; a box without a selection packs -1 (cut to the
/// field's width; 0 where the code is the index + 1).
void packFields(const QWidget* page, std::span<const ConfigField> table, std::span<std::uint8_t> image);

/// The page's numeric edit, drop-down box or lamp group called `name`, or nullptr.
NumericSpin* findNumber(const QWidget* page, const char* name);
QComboBox* findChoice(const QWidget* page, const char* name);
LampGroup* findMask(const QWidget* page, const char* name);

/// The field-table entry and element that `control` edits (a part of a composed field: element 0);
/// a null entry for a control no table names.
struct FieldControl
{
    const ConfigField* field = nullptr;
    std::size_t index = 0;
};
FieldControl fieldControl(const char* control);

/// The numeric edit `control` with its table entry's limits, pattern, step and start value.
NumericSpin* makeFieldNumber(QWidget* parent, const char* control, const QRect& geometry);
/// The label of `control`'s caption in the table, with its start text. Its name is the caption's
/// key, or the control's name + "Label" where the key is the control's own (a caption label).
QLabel* makeFieldCaption(QWidget* parent, const char* control, const QRect& geometry);

/// The controls under `window` that show element `index` of `field`: the numeric edit, drop-down box
/// or lamp group of a plain field; for a composed field the controls that make the element up (a
/// single-element field all of them, otherwise those in the element's own group box, the group
/// boxes taken in the order of the controls). Empty where the element has none.
QList<QWidget*> elementControls(const QWidget* window, const ConfigField& field, std::size_t index);

/// Selects `index` without running the box's selection handler; an index outside the list clears
/// the selection.
void selectQuietly(QComboBox* box, int index);

} // namespace kvam
