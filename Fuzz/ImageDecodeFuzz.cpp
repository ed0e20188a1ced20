// Downloaded and cached images are untrusted: decoding must refuse or succeed cleanly, and
// what it gives must survive a PNG round trip (same size, same alpha, opaque pixels exact).
#include <cstddef>
#include <cstdint>
#include <span>

#include "Platform/Graphics/Image.h"

namespace {

using platform::Image;

void check(bool condition) {
  if (!condition) __builtin_trap();
}

// Small limits keep each run fast; the checks before decoding are the same at any size.
constexpr Image::DecodeLimits kLimits{
    .maximumBytes = 1 << 20, .maximumSide = 1024, .maximumPixels = 1 << 18};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto decoded = Image::decode(std::span(data, size), kLimits);
  if (!decoded) return 0;
  const auto& image = *decoded;
  check(image != nullptr);
  check(image->width() > 0 && image->height() > 0);
  check(image->width() <= kLimits.maximumSide && image->height() <= kLimits.maximumSide);
  check(image->pixels().size() == std::size_t(image->width()) * std::size_t(image->height()) * 4);

  const auto png = image->pngData();
  check(png.has_value());
  const auto again = Image::decode(*png);
  check(again.has_value());
  check((*again)->width() == image->width() && (*again)->height() == image->height());
  const auto before = image->pixels();
  const auto after = (*again)->pixels();
  for (std::size_t i = 0; i < before.size(); i += 4) {
    check(before[i + 3] == after[i + 3]);
    if (before[i + 3] == 255) {
      check(before[i] == after[i] && before[i + 1] == after[i + 1] &&
            before[i + 2] == after[i + 2]);
    }
  }
  return 0;
}
