#pragma once

#include "link/LinkDriver.h"
#include "meter/VirtualMeter.h"

#include <optional>

namespace kvam {

/// The ports the window can open: "DEMO" is the virtual meter in this process (paced like the real
/// line when `demoPacing`), any other name a serial device. `demoMeter` builds the virtual meter
/// (faults, identity); without it the meter comes configured as in an installation.
LinkDriver::PortFactory portFactory(bool demoPacing,
                                    std::optional<VirtualMeterConfig> demoMeter = std::nullopt);

} // namespace kvam
