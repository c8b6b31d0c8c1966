#pragma once

#include "link/LinkDriver.h"

namespace kvam {

/// The ports the window can open: "DEMO" is the virtual meter in this process (paced like the real
/// line when `demoPacing`), any other name a serial device.
LinkDriver::PortFactory portFactory(bool demoPacing);

} // namespace kvam
