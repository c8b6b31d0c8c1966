#include "records/RecordDiff.h"

#include "records/FieldValue.h"
#include "records/RecordLayout.h"

#include <cstring>

namespace kvam {

const char* memoryRecordName(MemoryRecord record)
{
    switch (record) {
    case MemoryRecord::Ram1:
        return "RAM1";
    case MemoryRecord::Ram3:
        return "RAM3";
    case MemoryRecord::Ram2:
        break;
    }
    return "RAM2";
}

const RecordLayout& memoryRecordLayout(MemoryRecord record)
{
    return *findRecordLayout(memoryRecordName(record));
}

std::string FieldChange::name() const
{
    std::string n = field ? field->name : "?";
    if (field && field->count > 1)
        n += "[" + std::to_string(index) + "]";
    return n;
}

std::vector<FieldChange> diffRecord(MemoryRecord record, std::span<const std::uint8_t> before,
                                    std::span<const std::uint8_t> after)
{
    std::vector<FieldChange> changes;
    const RecordLayout& layout = memoryRecordLayout(record);
    if (before.size() < layout.size || after.size() < layout.size)
        return changes;
    for (const FieldInfo& f : layout.fields) {
        for (std::size_t i = 0; i < f.count; ++i) {
            const std::size_t at = f.offset + i * f.width();
            if (std::memcmp(before.data() + at, after.data() + at, f.width()) == 0)
                continue;
            changes.push_back({record, &f, i, readNumber(before, f, i), readNumber(after, f, i)});
        }
    }
    return changes;
}

} // namespace kvam
