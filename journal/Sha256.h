#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// SHA-256 (FIPS 180-4) of a byte string, for the settings file a send read
// and the journal's record ids.
namespace journal {

std::array<uint8_t, 32> Sha256(std::string_view bytes);
// The digest as 64 lower-case hex digits.
std::string Sha256Hex(std::string_view bytes);

} // namespace journal
