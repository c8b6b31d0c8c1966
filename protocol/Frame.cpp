#include "protocol/Frame.h"

#include "protocol/Crc.h"

#include <algorithm>
#include <utility>

namespace kvam {

namespace {

void putHeader(std::uint8_t* out, std::uint8_t code, int lengthField)
{
    out[0] = code;
    out[1] = static_cast<std::uint8_t>(lengthField & 0xFF);
    out[2] = static_cast<std::uint8_t>((lengthField >> 8) & 0xFF);
}

void putCrc(std::uint8_t* out, std::uint16_t crc)
{
    out[0] = static_cast<std::uint8_t>(crc & 0xFF);
    out[1] = static_cast<std::uint8_t>(crc >> 8);
}

} // namespace

std::size_t encodeInPlace(std::span<std::uint8_t> buffer, std::uint8_t code, std::size_t payloadSize)
{
    const std::size_t size = payloadSize + kHeaderSize + kCrcSize;
    if (size > buffer.size())
        return 0;
    putHeader(buffer.data(), code, lengthFieldFor(static_cast<int>(payloadSize)));
    const std::size_t crcAt = kHeaderSize + payloadSize;
    putCrc(buffer.data() + crcAt, CalculateCRC(buffer.first(crcAt)));
    return size;
}

std::vector<std::uint8_t> encodeRawFrame(std::uint8_t code, int lengthField,
                                         std::span<const std::uint8_t> body, bool withCrc)
{
    std::vector<std::uint8_t> frame(kHeaderSize + body.size() + (withCrc ? kCrcSize : 0));
    putHeader(frame.data(), code, lengthField);
    std::copy(body.begin(), body.end(), frame.begin() + kHeaderSize);
    if (withCrc) {
        const std::size_t crcAt = kHeaderSize + body.size();
        putCrc(frame.data() + crcAt, CalculateCRC(std::span<const std::uint8_t>(frame).first(crcAt)));
    }
    return frame;
}

bool frameCrcOk(std::span<const std::uint8_t> frame)
{
    return CalculateCRC(frame) == 0;
}

Frame::Frame(std::uint8_t code, std::vector<std::uint8_t> payload)
    : m_code(code), m_payload(std::move(payload))
{
}

std::vector<std::uint8_t> Frame::encode() const
{
    return encodeRawFrame(m_code, lengthFieldFor(static_cast<int>(m_payload.size())), m_payload, true);
}

std::optional<Frame> Frame::decode(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < std::size_t(kHeaderSize))
        return std::nullopt;
    const int length = lengthFieldOf(bytes.data());
    const auto size = static_cast<std::size_t>(frameSizeFor(length));
    if (length < kCrcSize || bytes.size() < size || !frameCrcOk(bytes.first(size)))
        return std::nullopt;
    const auto payload = bytes.subspan(kHeaderSize, size - kHeaderSize - kCrcSize);
    return Frame(bytes[0], std::vector<std::uint8_t>(payload.begin(), payload.end()));
}

} // namespace kvam
