#include "Platform/Foundation/Base64.h"

#include <algorithm>
#include <array>

namespace platform {
namespace {

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

std::string encodeBase64(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = std::uint32_t{bytes[i]} << 16;
    if (count > 1) group |= std::uint32_t{bytes[i + 1]} << 8;
    if (count > 2) group |= bytes[i + 2];
    for (std::size_t k = 0; k < 4; ++k) {
      text.push_back(k <= count ? kBase64Alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=');
    }
  }
  return text;
}

std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::array<int, 256> values;
  values.fill(-1);
  for (std::size_t i = 0; i < kBase64Alphabet.size(); ++i) {
    values[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<int>(i);
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    std::size_t padding = 0;
    if (last) padding = text[i + 3] == '=' ? (text[i + 2] == '=' ? 2 : 1) : 0;
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      int value = k < 4 - padding ? values[static_cast<unsigned char>(text[i + k])] : 0;
      if (value < 0) return std::nullopt;
      group = group << 6 | static_cast<std::uint32_t>(value);
    }
    if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0)) {
      return std::nullopt;
    }
    for (std::size_t k = 0; k < 3 - padding; ++k) {
      bytes.push_back(static_cast<std::uint8_t>(group >> (16 - 8 * k)));
    }
  }
  return bytes;
}

}  // namespace platform
