#pragma once

#include <cstdint>
#include <string>

namespace kvam {

/// One byte as the monitor shows it: two upper-case hex digits and a blank ("0A ").
std::string GetString(std::uint8_t byte);

/// The monitor's hex dump: GetString for each byte, CR LF after every 20th byte.
std::string hexDump(const std::uint8_t* data, int count);

} // namespace kvam
