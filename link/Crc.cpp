#include "link/Crc.h"

namespace kvam {

std::uint16_t CalculateCRC(const std::uint8_t* data, std::int16_t count)
{
    std::uint16_t crc = 0xFFFF;
    for (std::int16_t i = 0; i < count; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u)
                             : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

} // namespace kvam
