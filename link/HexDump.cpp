#include "link/HexDump.h"

namespace kvam {

std::string GetString(std::uint8_t byte)
{
    static const char digits[] = "0123456789ABCDEF";
    return {digits[byte >> 4], digits[byte & 0x0F], ' '};
}

std::string hexDump(const std::uint8_t* data, int count)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(count) * 3 + static_cast<std::size_t>(count / 20) * 2);
    for (int i = 0; i < count; ++i) {
        out += GetString(data[i]);
        if ((i + 1) % 20 == 0)
            out += "\r\n";
    }
    return out;
}

} // namespace kvam
