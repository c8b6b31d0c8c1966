#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace kvam {

/// What the meter puts on the line in reply to one request, and how.
struct MeterAnswer
{
    std::uint8_t code = 0;   ///< command answered
    QByteArray bytes;        ///< everything sent: stray bytes (if any) followed by the frame
    std::vector<int> pieces; ///< sizes of the separate reads it arrives in; empty: one read
    int delayMs = 0;         ///< extra hold-back before the first byte (a late answer)
};

} // namespace kvam
