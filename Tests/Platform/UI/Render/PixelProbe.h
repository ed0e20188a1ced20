#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "Platform/Graphics/Image.h"

namespace testsupport {

// One pixel as 8-bit red, green, blue and alpha, straight (not premultiplied).
using RGBA = std::array<int, 4>;

// The pixel of `image` under the point (x, y), in points; transparent black outside.
inline RGBA pixelAt(const platform::Image& image, double x, double y) {
  const int column = int(std::floor(x * image.scale())), row = int(std::floor(y * image.scale()));
  if (column < 0 || row < 0 || column >= image.width() || row >= image.height()) return {};
  const auto* p =
      image.pixels().data() + (static_cast<std::size_t>(row) * image.width() + column) * 4;
  return {p[0], p[1], p[2], p[3]};
}

// An opaque 0xRRGGBB value, as the X server reports a window's pixel.
inline RGBA fromRGB(std::uint32_t rgb) {
  return {static_cast<int>(rgb >> 16 & 0xff), static_cast<int>(rgb >> 8 & 0xff),
          static_cast<int>(rgb & 0xff), 255};
}

// For EXPECT_PRED_FORMAT2: equal within the rounding that blending and antialiasing add.
inline ::testing::AssertionResult pixelsMatch(const char* actualText, const char* expectedText,
                                              const RGBA& actual, const RGBA& expected) {
  for (int i = 0; i < 4; ++i) {
    if (std::abs(actual[i] - expected[i]) > 2) {
      return ::testing::AssertionFailure()
             << actualText << " is " << ::testing::PrintToString(actual) << ", expected "
             << expectedText << " = " << ::testing::PrintToString(expected);
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace testsupport
