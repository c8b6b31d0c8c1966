#pragma once

#include "config/ConfigFields.h"

#include <QtGlobal>

#include <cstdint>
#include <span>

class QComboBox;
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

/// The bits the error-lamp groups show (0 to 19).
inline constexpr quint32 kErrorMaskBits = 0xFFFFF;

/// The page's numeric edit, drop-down box or lamp group called `name`, or nullptr.
NumericSpin* findNumber(const QWidget* page, const char* name);
QComboBox* findChoice(const QWidget* page, const char* name);
LampGroup* findMask(const QWidget* page, const char* name);

/// Selects `index` without running the box's selection handler; an index outside the list clears
/// the selection.
void selectQuietly(QComboBox* box, int index);

} // namespace kvam
