#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kvam {

/// CRC-16/MODBUS (polynomial 0x8005 bit-reversed, initial 0xFFFF, no final XOR) over `count` bytes;
/// 0xFFFF for a count below 1. Sent low byte first, so the CRC over a whole frame including its
/// CRC is 0.
std::uint16_t CalculateCRC(const std::uint8_t* data, std::int16_t count);

/// The same CRC over any number of bytes: frames of any length a broken meter may announce.
std::uint16_t CalculateCRC(std::span<const std::uint8_t> bytes);

} // namespace kvam
