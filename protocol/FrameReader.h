#pragma once

#include "protocol/Frame.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kvam {

/// The receiver's frame assembly, under the names the protocol documentation uses. Bytes are
/// stored from index 0; the length is taken from Rxbuff[1] and Rxbuff[2] when index 2 is stored;
/// the frame is complete when the byte at index RxLength + 2 has been stored and RxLength >= 2.
/// RxIndex never passes the last cell: once there, further bytes overwrite it, so a frame whose
/// length field is below 2 or above 510 never completes. It holds no CRC verdict of its own; the
/// reader of a complete frame asks for one.
struct FrameReader
{
    std::array<std::uint8_t, kBufferSize> Rxbuff{};
    int RxIndex = 0;  ///< where the next byte is stored, 0..512
    int RxLength = 0; ///< the frame's length field (payload + 2)
    bool FrameComplete = false;
    /// Bytes stored since the last rewind, those that overwrote the last cell included: a frame's
    /// size once it is complete, what a rewind throws away while it is not.
    int Stored = 0;

    /// Stores one byte. While a frame is complete, bytes are dropped until rewind(). Returns
    /// FrameComplete.
    bool feed(std::uint8_t byte);
    /// Stores the bytes in order as above: those behind a frame they complete are dropped.
    bool feed(std::span<const std::uint8_t> bytes);
    /// Stores the bytes in order up to the end of a frame they complete; returns how many it
    /// stored (the rest, behind the frame, is the caller's to drop).
    std::size_t take(std::span<const std::uint8_t> bytes);
    /// Back to the start of a frame: index, length and completion cleared (the buffer keeps its bytes).
    void rewind();

    std::uint8_t code() const { return Rxbuff[0]; }
    /// The payload, from index 3; always readable up to the buffer's end.
    const std::uint8_t* payload() const { return Rxbuff.data() + kHeaderSize; }
    int payloadLength() const { return RxLength - kCrcSize; }
    /// Code, length field, payload and CRC: RxLength + 3.
    int frameSize() const { return frameSizeFor(RxLength); }
    /// Whether the complete frame's CRC checks; false while no frame is complete.
    bool crcOk() const;
};

} // namespace kvam
