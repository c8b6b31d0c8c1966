#pragma once

#include <cstdint>

namespace kvam {

/// CRC-16/MODBUS (reflected polynomial 0xA001, initial 0xFFFF, no final XOR) over `count` bytes.
/// Sent low byte first, so the CRC over a whole frame including its CRC is 0.
std::uint16_t CalculateCRC(const std::uint8_t* data, std::int16_t count);

} // namespace kvam
