#pragma once
// INTERIM: replaced by the protocol layer's own header at merge.
#include <cstdint>
namespace kvam {
inline constexpr std::uint8_t kServiceFactoryDefaults = 1;
inline constexpr std::uint8_t kServiceClearErrors = 2;
inline constexpr std::uint8_t kServiceUserDefaults = 4;
} // namespace kvam
