#include "protocol/Crc.h"

namespace kvam {

std::uint16_t CalculateCRC(std::span<const std::uint8_t> bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u)
                             : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

std::uint16_t CalculateCRC(const std::uint8_t* data, std::int16_t count)
{
    if (count < 1)
        return 0xFFFF;
    return CalculateCRC(std::span<const std::uint8_t>(data, static_cast<std::size_t>(count)));
}

} // namespace kvam
