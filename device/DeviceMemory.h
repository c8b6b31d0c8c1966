#pragma once

#include "records/Records.h"

namespace kvam {

/// The program's single copies of the meter's three memory records, byte for byte the payloads of
/// the RAM reads and writes. Zero-filled at start.
struct DeviceMemory
{
    Ram1Image ram1;
    Ram2Image ram2;
    Ram3Image ram3;
};

} // namespace kvam
