#pragma once

#include "device/FieldTable.h"
#include "records/RecordDiff.h"

#include <QString>

#include <optional>
#include <span>
#include <vector>

namespace kvam {

// What a write changes, element by element, as the user knows the fields: by the captions and in
// the forms the window's editors show. Captions, values and units come from the field table
// (device/FieldTable.h), so the review reads the same as the report and the command line.

/// One changed element as the write review lists it.
struct ReviewRow
{
    MemoryRecord record = MemoryRecord::Ram2;
    QString caption;  ///< the editor's caption, in the language asked for
    QString name;     ///< the record table's name: "Ratio[1]", "Zajzar"
    QString meter;    ///< what the meter holds, as the editor would show it
    QString proposed; ///< what the write puts there
    QString unit;     ///< "%", "mA", "s" ..., empty where the value has none
};

/// The rows of `changes` (FieldChange::before the meter's, after the new value), in their order,
/// with captions and values in `language` (none: the start texts, as the window shows them until
/// the first switch; the window passes shownLanguage(window)).
std::vector<ReviewRow> reviewRows(std::span<const FieldChange> changes, std::optional<Language> language);

} // namespace kvam
