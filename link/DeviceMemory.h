#pragma once

#include "platform/ByteImage.h"
#include "records/Records.h"

namespace kvam {

/// The program's single copies of the meter's three memory records, byte for byte the payloads of
/// the RAM reads and writes. Zero-filled at start.
struct DeviceMemory
{
    ByteImage<ram1::kSize> ram1;
    ByteImage<ram2::kSize> ram2;
    ByteImage<ram3::kSize> ram3;
};

} // namespace kvam
