#include "config/FieldUnits.h"

#include <cstring>

namespace kvam {

namespace {

/// The units the pages show beside their editors (in the captions' brackets or the list items);
/// `currentUnit` is that of the current channels (odd elements) where it differs.
struct UnitRow
{
    MemoryRecord record;
    const char* field;
    const char* unit;
    const char* currentUnit = nullptr;
};
constexpr UnitRow kUnits[] = {
    {MemoryRecord::Ram2, "Zajzar", "%"},
    {MemoryRecord::Ram2, "Energy_sampletime", "s"},
    {MemoryRecord::Ram2, "MB01Timeout", "s"},
    {MemoryRecord::Ram2, "MB01Delay", "s"},
    {MemoryRecord::Ram2, "DoutImpEgyenertek", "Wh/VArh"},
    {MemoryRecord::Ram2, "DoutImpSzelesseg", "ms"},
    {MemoryRecord::Ram2, "DoutImpSzunet", "ms"},
    {MemoryRecord::Ram2, "PWMFrommA", "mA"},
    {MemoryRecord::Ram2, "PWMTomA", "mA"},
    {MemoryRecord::Ram2, "PWMErrormA", "mA"},
    {MemoryRecord::Ram3, "PWMPoint1mA", "mA"},
    {MemoryRecord::Ram3, "PWMPoint2mA", "mA"},
    {MemoryRecord::Ram3, "Calrms", "V", "A"},
    {MemoryRecord::Ram3, "Delay", "°"},
};

} // namespace

QString unitOf(MemoryRecord record, const char* field, std::size_t index)
{
    if (!field)
        return QString();
    for (const UnitRow& u : kUnits)
        if (u.record == record && std::strcmp(u.field, field) == 0)
            return QString::fromUtf8(u.currentUnit && index % 2 == 1 ? u.currentUnit : u.unit);
    return QString();
}

QString unitOf(const FieldChange& change)
{
    return change.field ? unitOf(change.record, change.field->name, change.index) : QString();
}

} // namespace kvam
