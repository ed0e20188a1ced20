#include "Classes/UI/Extensions/ColorExtensions.h"

#include <limits>
#include <optional>

#include "Platform/Graphics/ImageContext.h"

namespace brelum {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<std::uint64_t> hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return std::nullopt;
}

// The platform scanner's hexadecimal 64-bit scan: blanks skipped, an optional "0x", then
// every leading digit; a value too large for 64 bits saturates (the rest of the digits are
// read past).
std::uint64_t scanHex(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
      hexDigit(text[2])) {
    text.remove_prefix(2);
  }
  constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  for (char c : text) {
    auto digit = hexDigit(c);
    if (!digit) break;
    value = value > (kMax >> 4) ? kMax : (value << 4) | *digit;
  }
  return value;
}

double component(std::uint64_t value, int shift) {
  return double((value >> shift) & 0xFF) / 255.0;
}

}  // namespace

platform::Color color(std::int64_t red, std::int64_t green, std::int64_t blue,
                      std::int64_t alpha) noexcept {
  return {double(red) / 255.0, double(green) / 255.0, double(blue) / 255.0, double(alpha) / 255.0};
}

platform::Color color(std::int64_t rgb) noexcept {
  const auto bits = std::uint64_t(rgb);
  return {component(bits, 16), component(bits, 8), component(bits, 0), 1.0};
}

platform::Color colorWithHex4(std::int64_t hex4) noexcept {
  const auto bits = std::uint64_t(hex4);
  return {component(bits, 16), component(bits, 8), component(bits, 0), component(bits, 24)};
}

platform::Color colorWithHex(std::string_view hex, double alpha) noexcept {
  auto text = trimmed(hex);
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  const auto bits = scanHex(text);
  return {component(bits, 16), component(bits, 8), component(bits, 0), alpha};
}

std::shared_ptr<platform::Image> image(const platform::Color& color, platform::Size size) {
  platform::ImageContext context(size, false, 0);
  context.setFillColor(color);
  context.fillRect({0, 0, size.width, size.height});
  return context.makeImage();
}

}  // namespace brelum
