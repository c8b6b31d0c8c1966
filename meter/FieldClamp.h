#pragma once

#include "meter/ParseResult.h"
#include "records/Field.h"
#include "records/RecordDiff.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kvam {

/// A memory field the meter caps, as a firmware that limits a ratio or a threshold would: a write
/// of its record is acknowledged as usual, but the element is stored as min(value, maximum).
struct FieldClamp
{
    MemoryRecord record = MemoryRecord::Ram2;
    const FieldInfo* field = nullptr; ///< the record table's row (never raw bytes)
    std::optional<std::size_t> index; ///< one element; none: every element of the field
    /// In the field's units (the stored value divided by the row's scale). A value that is not
    /// above it (NaN included) is stored as written.
    double maximum = 0;

    /// "RAM2.Ratio[1]=70", "RAM2.DoutHighLimit=500": the form parseFieldClamp() takes.
    QString toString() const;
};

/// Parses RECORD.FIELD=MAX (every element) or RECORD.FIELD[K]=MAX (element K), RECORD being RAM1,
/// RAM2 or RAM3 and FIELD a numeric field of that record as its table names it. Errors: another
/// record, an unknown or raw field, an element past the field, a maximum that is not a finite
/// number or that the field cannot hold.
ParseResult<FieldClamp> parseFieldClamp(const QString& text);

/// Caps the elements of `image` (a record of `record`) that the clamps of that record name.
/// Returns the elements it changed (before: as written, after: as stored), in the table's order.
std::vector<FieldChange> applyClamps(std::span<const FieldClamp> clamps, MemoryRecord record,
                                     std::span<std::uint8_t> image);

} // namespace kvam
