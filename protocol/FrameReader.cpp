#include "protocol/FrameReader.h"

#include "protocol/Crc.h"

#include <cstddef>

namespace kvam {

bool FrameReader::feed(std::uint8_t byte)
{
    if (FrameComplete)
        return true;
    Rxbuff[static_cast<std::size_t>(RxIndex)] = byte;
    ++Stored;
    if (RxIndex == 2)
        RxLength = lengthFieldOf(Rxbuff.data());
    if (RxLength + 2 == RxIndex && RxLength >= kCrcSize)
        FrameComplete = true;
    // The last cell is overwritten rather than the buffer left: a frame too long for it never
    // completes, and the exchange ends by time-out.
    if (RxIndex < kBufferSize - 1)
        ++RxIndex;
    return FrameComplete;
}

bool FrameReader::feed(std::span<const std::uint8_t> bytes)
{
    for (const std::uint8_t byte : bytes)
        feed(byte);
    return FrameComplete;
}

std::size_t FrameReader::take(std::span<const std::uint8_t> bytes)
{
    std::size_t taken = 0;
    while (taken < bytes.size() && !FrameComplete)
        feed(bytes[taken++]);
    return taken;
}

void FrameReader::rewind()
{
    Stored = 0;
    RxIndex = 0;
    RxLength = 0;
    FrameComplete = false;
}

bool FrameReader::crcOk() const
{
    if (!FrameComplete || RxLength < kCrcSize || frameSize() > kBufferSize)
        return false;
    return CalculateCRC(std::span<const std::uint8_t>(Rxbuff).first(static_cast<std::size_t>(frameSize()))) ==
           0;
}

} // namespace kvam
