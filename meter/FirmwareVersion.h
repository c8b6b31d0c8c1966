#pragma once

#include "meter/ParseResult.h"

#include <QString>

#include <cstdint>

namespace kvam {

/// The firmware version the meter reports in its version record.
struct FirmwareVersion
{
    std::uint8_t major = 3;
    std::uint8_t minor = 2;
    std::uint16_t build = 7;

    bool operator==(const FirmwareVersion&) const = default;
    QString toString() const;
};

/// Parses "X.Y.Z" (major and minor 0..255, build 0..65535, decimal digits only).
ParseResult<FirmwareVersion> parseFirmwareVersion(const QString& text);

} // namespace kvam
