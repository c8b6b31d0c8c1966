#pragma once

#include <array>
#include <cstdint>

namespace kvam {

/// Service codes: the one-byte payload of a Read_State request, each a bit (0 = none). The meter
/// acts on the code once and answers with its state.
constexpr std::uint8_t kServiceNone = 0;
constexpr std::uint8_t kServiceFactoryDefaults = 1; ///< factory RAM2 and RAM3
constexpr std::uint8_t kServiceClearErrors = 2;     ///< the latched error flags cleared
constexpr std::uint8_t kServiceUserDefaults = 4;    ///< RAM2 to its defaults

/// Whether the code makes the meter replace memory records with its defaults.
constexpr bool serviceResetsRecords(std::uint8_t code)
{
    return (code & (kServiceFactoryDefaults | kServiceUserDefaults)) != 0;
}

/// Analog-output calibration codes, the payload of Write_DAcalib: the low nibble is the output
/// (1 or 2), the high nibble the calibration point minus one; 0 switches calibration off.
constexpr std::uint8_t kDAcalOff = 0x00;
constexpr std::uint8_t kDAcalOutput1Point1 = 0x01;
constexpr std::uint8_t kDAcalOutput1Point2 = 0x11;
constexpr std::uint8_t kDAcalOutput2Point1 = 0x02;
constexpr std::uint8_t kDAcalOutput2Point2 = 0x12;

/// The calibration sequence: the code sent at each step 1 to 4, then the code that ends it.
constexpr std::array<std::uint8_t, 5> kDAcalSequence = {kDAcalOutput1Point1, kDAcalOutput1Point2,
                                                        kDAcalOutput2Point1, kDAcalOutput2Point2, kDAcalOff};

} // namespace kvam
