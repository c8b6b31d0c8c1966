#pragma once

#include "protocol/Commands.h"

#include <cstdint>
#include <initializer_list>

namespace kvam {

/// What the page that has just been opened asks of the scheduler. The scheduler knows no pages:
/// the window hands it this description of the one now active.
struct PagePolls
{
    /// Bit k set: command k is polled while the page is active.
    std::uint32_t commands = 0;
    /// The polls of the page left go on (the page only watches the traffic).
    bool keepsPrevious = false;
    /// A state answer ends the state request and, unless a settings file was loaded, re-reads
    /// both configuration records, so the page shows what a service request left in the meter.
    bool stateAnswerRereadsConfig = false;

    constexpr PagePolls() = default;
    /// A page polling exactly these commands.
    constexpr explicit PagePolls(std::initializer_list<int> polled)
    {
        for (int k : polled)
            commands |= std::uint32_t{1} << k;
    }
    /// A page that only watches: whatever was polled goes on.
    static constexpr PagePolls keepingPrevious()
    {
        PagePolls p;
        p.keepsPrevious = true;
        return p;
    }
    /// This description with the state-answer rule switched on or off.
    constexpr PagePolls rereadingConfigOnState(bool on = true) const
    {
        PagePolls p = *this;
        p.stateAnswerRereadsConfig = on;
        return p;
    }

    constexpr bool polls(int code) const { return code >= 0 && code < 32 && ((commands >> code) & 1u) != 0; }
};

/// What the measurement page polls: the state, the measurements, the energy counters, the demand
/// and the version. One round of them is one refresh of the page.
inline constexpr PagePolls kMeasurementPolls{Read_State, Read_Net, Read_RAM1, Read_EPdata, Read_Version};

/// The commands whose flags follow the active page; every other flag is left as it stands.
inline constexpr int kPagePolledCommands[] = {Read_Net,   Read_Harmonics, Read_Caldata, Read_EPdata,
                                              Read_State, Read_RAM1,      Read_Version};

} // namespace kvam
