#pragma once

#include "records/RecordDiff.h"

#include <QString>

#include <cstddef>

namespace kvam {

/// The unit of element `index` of a memory record's field as the pages show it beside its editor;
/// empty where they show none.
QString unitOf(MemoryRecord record, const char* field, std::size_t index);
/// The unit of a changed element.
QString unitOf(const FieldChange& change);

} // namespace kvam
