#pragma once

// The units are a column of the field table now (device/FieldTable.h: fieldUnit, changeTexts).
// This header only keeps the command line's include building until it calls the table itself.

#include "device/FieldTable.h"

namespace kvam {

inline QString unitOf(const FieldChange& change)
{
    return change.field ? fieldUnit(change.record, *change.field, change.index) : QString();
}

} // namespace kvam
