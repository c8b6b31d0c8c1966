#pragma once

#include <QStringList>

#include <span>

namespace kvam {

/// The item list of a drop-down box, keyed by the box's control name. The item index is the code
/// the meter stores, so the order is part of the record format; empty items are real items.
struct UiItems
{
    const char* control;
    std::span<const char* const> start; ///< the items shown from start-up (UTF-8)
};

/// Every item list of the windows.
std::span<const UiItems> uiItemLists();

/// The start items of `control`; an empty list for a name that has no entry.
QStringList uiItems(const char* control);

/// The captions of the 20 error bits (bit 0 first), shared by the three error-lamp groups.
QStringList errorBitCaptions();

/// The meter's error flags: bits 0..19 are dynamic and static alike, 20..22 static only.
inline constexpr int kErrorFlagBits = 23;
/// The text-table key of the caption of error bit 0..22 (the lamp that shows it on the error page:
/// DinLeds, Led1..Led19, AbLED1, AbLED21, AbLED22); null for any other bit.
const char* errorFlagKey(int bit);

} // namespace kvam
