#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ostream>

#include "Platform/Graphics/Image.h"

namespace testsupport {

// One pixel as 8-bit channels, straight (not premultiplied).
struct RGBA {
  int red = 0;
  int green = 0;
  int blue = 0;
  int alpha = 255;

  friend std::ostream& operator<<(std::ostream& out, const RGBA& c) {
    return out << "rgba(" << c.red << ", " << c.green << ", " << c.blue << ", " << c.alpha << ")";
  }
};

// The pixel of `image` under the point (x, y), in points.
inline RGBA pixelAt(const platform::Image& image, double x, double y) {
  const int column = static_cast<int>(std::floor(x * image.scale()));
  const int row = static_cast<int>(std::floor(y * image.scale()));
  if (column < 0 || row < 0 || column >= image.width() || row >= image.height())
    return {0, 0, 0, 0};
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
  constexpr int kTolerance = 2;
  auto near = [](int a, int b) { return std::abs(a - b) <= kTolerance; };
  if (near(actual.red, expected.red) && near(actual.green, expected.green) &&
      near(actual.blue, expected.blue) && near(actual.alpha, expected.alpha)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << actualText << " is " << actual << ", expected " << expectedText << " = " << expected;
}

}  // namespace testsupport
