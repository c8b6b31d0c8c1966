#pragma once

#include "records/Field.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace kvam {

// Element access by a field's row (FieldInfo) rather than its typed constant: for code that walks a
// table of fields (settings file, editors). An index past the field reads 0 and writes nothing.

/// Element `index` as an integer: signed types sign-extended, unsigned ones zero-extended; an f32
/// element is read as its value truncated toward zero.
std::int64_t readInteger(std::span<const std::uint8_t> image, const FieldInfo& field, std::size_t index);

/// Stores the low bytes of `value` (two's complement) into element `index`: cut to the field's
/// width, as a narrower integer variable would take it. An f32 element stores the value as a float.
void writeInteger(std::span<std::uint8_t> image, const FieldInfo& field, std::size_t index,
                  std::int64_t value);

/// Element `index` as a number: an f32 as its float value, an integer as readInteger() gives it.
double readNumber(std::span<const std::uint8_t> image, const FieldInfo& field, std::size_t index);

/// Stores `value` into an f32 element; an integer element takes it through writeInteger() after
/// rounding to the nearest integer, halves to even.
void writeNumber(std::span<std::uint8_t> image, const FieldInfo& field, std::size_t index, double value);

} // namespace kvam
