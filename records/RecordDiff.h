#pragma once

#include "records/Field.h"
#include "records/Records.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kvam {

/// The meter's three memory records.
enum class MemoryRecord : std::uint8_t
{
    Ram1 = 1,
    Ram2 = 2,
    Ram3 = 3
};

/// The three memory records in their order.
inline constexpr std::array<MemoryRecord, 3> kAllMemoryRecords{MemoryRecord::Ram1, MemoryRecord::Ram2,
                                                               MemoryRecord::Ram3};

/// "RAM1", "RAM2", "RAM3": the record table's name.
const char* memoryRecordName(MemoryRecord record);
/// The record's layout (never null).
struct RecordLayout;
const RecordLayout& memoryRecordLayout(MemoryRecord record);

/// One element of a field whose bytes differ between two images of a record.
struct FieldChange
{
    MemoryRecord record = MemoryRecord::Ram2;
    const FieldInfo* field = nullptr; ///< the record table's row
    std::size_t index = 0;            ///< the element
    double before = 0;                ///< readNumber() of the first image
    double after = 0;                 ///< readNumber() of the second image

    /// "Ratio[1]", or "Zajzar" for a single value.
    std::string name() const;
};

/// Every element whose bytes differ between `before` and `after` (both of `record`'s size), in
/// the record table's order.
std::vector<FieldChange> diffRecord(MemoryRecord record, std::span<const std::uint8_t> before,
                                    std::span<const std::uint8_t> after);

template <std::size_t N>
std::vector<FieldChange> diffRecord(MemoryRecord record, const ByteImage<N>& before,
                                    const ByteImage<N>& after)
{
    return diffRecord(record, std::span<const std::uint8_t>(before.data(), N),
                      std::span<const std::uint8_t>(after.data(), N));
}

} // namespace kvam
