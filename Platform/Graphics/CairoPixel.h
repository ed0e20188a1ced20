#pragma once

#include <cstdint>

#include "Platform/Graphics/Image.h"

namespace platform::detail {

// One pixel of an image as Cairo's ARGB32 word: premultiplied, native-endian. Premultiplying
// rounds; cairo's PNG writer divides back out with rounding, which is what keeps opaque
// pixels and every alpha value exact.
inline std::uint32_t cairoARGB(const std::uint8_t* pixel, Image::PixelFormat format) {
  if (format == Image::PixelFormat::bgrx) {
    return 0xFF000000u | std::uint32_t(pixel[2]) << 16 | std::uint32_t(pixel[1]) << 8 | pixel[0];
  }
  const std::uint32_t a = pixel[3];
  auto scale = [a](std::uint32_t c) { return (c * a + 127) / 255; };
  return a << 24 | scale(pixel[0]) << 16 | scale(pixel[1]) << 8 | scale(pixel[2]);
}

}  // namespace platform::detail
