#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kvam {

// A frame on the line: code (1 byte), length field L = payload + 2 (16 bits, little-endian), the
// payload, and the CRC over everything before it, low byte first. A frame is L + 3 bytes long.

/// Frame buffers (Txbuff, Rxbuff) hold indices 0..512.
constexpr int kBufferSize = 513;
/// Code and length field in front of the payload; the payload starts at this index.
constexpr int kHeaderSize = 3;
/// The CRC behind the payload.
constexpr int kCrcSize = 2;
/// The largest payload of a frame that fits a buffer (508 bytes, length field 510).
constexpr int kMaxPayload = kBufferSize - kHeaderSize - kCrcSize;

/// The length field of a frame that carries `payloadSize` bytes.
constexpr int lengthFieldFor(int payloadSize)
{
    return payloadSize + kCrcSize;
}

/// The whole size of a frame whose header holds `lengthField`.
constexpr int frameSizeFor(int lengthField)
{
    return lengthField + kHeaderSize;
}

/// The length field in a frame's header (bytes 1 and 2); `frame` holds at least kHeaderSize bytes.
constexpr int lengthFieldOf(const std::uint8_t* frame)
{
    return frame[1] + 256 * frame[2];
}

/// Frames the payload that already stands at buffer[3]: writes code and length in front of it and
/// the CRC behind it. Returns the frame's size, or 0 (and writes nothing) when the frame would not
/// fit the buffer.
std::size_t encodeInPlace(std::span<std::uint8_t> buffer, std::uint8_t code, std::size_t payloadSize);

/// Code, the given length field (low 16 bits), `body`, and the CRC over them when `withCrc`: a frame
/// whose header need not tell the truth about its body, as a broken meter sends it.
std::vector<std::uint8_t> encodeRawFrame(std::uint8_t code, int lengthField,
                                         std::span<const std::uint8_t> body, bool withCrc);

/// Whether `frame`, read whole including its CRC, checks (the CRC over it all is 0).
bool frameCrcOk(std::span<const std::uint8_t> frame);

/// One well-formed frame as a value: its code and payload.
class Frame
{
public:
    Frame() = default;
    /// `payload` holds at most 65533 bytes (what a length field counts).
    Frame(std::uint8_t code, std::vector<std::uint8_t> payload);

    std::uint8_t code() const { return m_code; }
    const std::vector<std::uint8_t>& payload() const { return m_payload; }

    /// The bytes on the line: code, length field, payload, CRC.
    std::vector<std::uint8_t> encode() const;
    /// The frame at the front of `bytes` (bytes behind it are not looked at), or nothing when its
    /// length field is below 2, the frame is not all there, or its CRC does not check.
    static std::optional<Frame> decode(std::span<const std::uint8_t> bytes);

    bool operator==(const Frame&) const = default;

private:
    std::uint8_t m_code = 0;
    std::vector<std::uint8_t> m_payload;
};

} // namespace kvam
