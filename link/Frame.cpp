#include "link/Frame.h"

#include "link/Crc.h"

namespace kvam {

QByteArray buildFrame(std::uint8_t code, const QByteArray& payload)
{
    QByteArray frame;
    const int length = int(payload.size()) + 2;
    frame.reserve(length + 3);
    frame.append(char(code));
    frame.append(char(length & 0xFF));
    frame.append(char((length >> 8) & 0xFF));
    frame.append(payload);
    const std::uint16_t crc = CalculateCRC(reinterpret_cast<const std::uint8_t*>(frame.constData()),
                                           static_cast<std::int16_t>(frame.size()));
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

bool frameCrcOk(const QByteArray& frame)
{
    return CalculateCRC(reinterpret_cast<const std::uint8_t*>(frame.constData()),
                        static_cast<std::int16_t>(frame.size())) == 0;
}

} // namespace kvam
