#pragma once

#include <QByteArray>

#include <cstdint>

namespace kvam {

/// A whole frame: code, length (payload + 2, little-endian), payload, CRC low byte first.
QByteArray buildFrame(std::uint8_t code, const QByteArray& payload);

/// Whether the frame's own CRC checks (the CRC over the frame including it is 0).
bool frameCrcOk(const QByteArray& frame);

} // namespace kvam
