#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Base64 with the standard alphabet and padding.
[[nodiscard]] std::string encodeBase64(std::span<const std::uint8_t> bytes);

// Strict: whole groups of four, padding only at the end, unused bits zero, so that text
// encodeBase64 wrote always passes and anything else (text not written that way) is refused.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text);

}  // namespace platform
