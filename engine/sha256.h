#pragma once

// SHA-256 of a byte string, as the 64 lowercase hex digits that sha256sum and
// Get-FileHash print, so a report's file hash can be compared with theirs.

#include <cstdint>
#include <span>
#include <string>

namespace velmoro {

std::string Sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace velmoro
