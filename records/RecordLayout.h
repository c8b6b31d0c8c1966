#pragma once

#include "records/Field.h"

#include <cstddef>
#include <span>
#include <string_view>

namespace kvam {

/// One record's layout as data: for checking the tables and for code that walks every field
/// (settings file, logger, editors).
struct RecordLayout
{
    const char* name; ///< "Net", "State", "Version", "EP", "Harmonics", "Caldata", "RAM1", "RAM2", "RAM3"
    std::size_t size; ///< bytes
    std::span<const FieldInfo> fields; ///< in offset order

    /// The field called `fieldName`, or nullptr.
    const FieldInfo* field(std::string_view fieldName) const;
};

/// Every record, answers first, then RAM1, RAM2, RAM3.
std::span<const RecordLayout> recordLayouts();

/// The record called `name` (exactly as in RecordLayout::name), or nullptr.
const RecordLayout* findRecordLayout(std::string_view name);

} // namespace kvam
