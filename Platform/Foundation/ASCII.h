#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace platform {

// ASCII-only text helpers for protocol text (header fields, host names, schemes, media
// types), where case and white space are defined over ASCII alone and a locale must not
// change the outcome.

[[nodiscard]] constexpr char asciiLowercase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

[[nodiscard]] inline std::string asciiLowercased(std::string_view text) {
  std::string lowered(text);
  std::ranges::transform(lowered, lowered.begin(), asciiLowercase);
  return lowered;
}

[[nodiscard]] constexpr bool asciiCaseInsensitiveEqual(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b,
                            [](char x, char y) { return asciiLowercase(x) == asciiLowercase(y); });
}

// `text` without leading and trailing spaces, tabs, carriage returns and line feeds.
[[nodiscard]] constexpr std::string_view asciiTrimmed(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n";
  const auto first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

}  // namespace platform
