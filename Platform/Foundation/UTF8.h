#pragma once

#include <string_view>

namespace platform {

// Strict UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF.
[[nodiscard]] bool isValidUTF8(std::string_view text);

}  // namespace platform
