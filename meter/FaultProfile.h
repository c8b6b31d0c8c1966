#pragma once

#include "meter/ParseResult.h"

#include <QString>

namespace kvam {

/// Probabilities (0..1) with which the virtual meter misbehaves on each answer.
struct FaultProfile
{
    double drop = 0.0;    ///< no answer at all
    double crc = 0.0;     ///< answer with a broken CRC
    double late = 0.0;    ///< answer held back past the tool's answer time-out
    double split = 0.0;   ///< answer delivered over several reads
    double garbage = 0.0; ///< stray bytes on the line before the answer
    /// An acknowledgement of a RAM1, RAM2 or RAM3 write held back past the time-out, on top of
    /// `late`: the write has taken effect, but the tool hears of it only after giving up on it.
    double lateWrite = 0.0;

    bool operator==(const FaultProfile&) const = default;
};

/// Parses "drop=0.1,crc=0.05,late=0.05,split=0.3,garbage=0.1,latewrite=0.2". Keys may come in any order and
/// may be left out (probability 0); an empty text means no faults. Unknown or repeated keys,
/// values that are not numbers in 0..1 and empty items are errors.
ParseResult<FaultProfile> parseFaultProfile(const QString& text);

} // namespace kvam
