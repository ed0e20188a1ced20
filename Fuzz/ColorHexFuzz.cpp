// Colour text comes from servers and settings: any bytes give a colour whose components
// are fractions of 255 and whose alpha is the one given.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Classes/UI/Extensions/ColorExtensions.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

void checkComponent(double value) {
  check(value >= 0 && value <= 1);
  const double scaled = value * 255;
  check(std::abs(scaled - std::round(scaled)) < 1e-9);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto color = brelum::colorWithHex(text, 0.25);
  checkComponent(color.red);
  checkComponent(color.green);
  checkComponent(color.blue);
  check(color.alpha == 0.25);
  return 0;
}
