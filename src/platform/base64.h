// Standard Base64 (RFC 4648 alphabet, "=" padding), as stored settings and bookmark records use it.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex::platform {

std::string base64Encode(std::span<const std::uint8_t> bytes);

// Strict decoding: the length must be a multiple of 4, padding only at the end, no whitespace, and
// unused bits of the last group must be zero. Anything else gives nothing.
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text);

}  // namespace lorvex::platform
