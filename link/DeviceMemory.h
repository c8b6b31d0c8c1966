#pragma once

#include "link/Commands.h"
#include "platform/ByteImage.h"

namespace kvam {

/// The program's single copies of the meter's three memory records, byte for byte the payloads of
/// the RAM reads and writes. Zero-filled at start.
struct DeviceMemory
{
    ByteImage<kRam1Size> ram1;
    ByteImage<kRam2Size> ram2;
    ByteImage<kRam3Size> ram3;
};

} // namespace kvam
