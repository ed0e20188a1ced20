#include "Classes/UI/Extensions/ImageExtensions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Platform/Graphics/Screen.h"

using platform::Color;
using platform::Size;

namespace {

// A diameter that gives no drawing context still answers an image: an empty one.
TEST(Circle, IsADiscOfTheColourAtTheScreenScaleOrWithoutADiameterAnEmptyImage) {
  auto& screen = platform::Screen::main();
  const double scale = screen.scale();
  screen.setScale(2);
  auto image = brelum::circle(10, Color{1, 0, 0, 1});
  screen.setScale(scale);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->size(), (Size{10, 10}));
  ASSERT_EQ(image->width(), 20);
  auto alphaAt = [&](int x, int y) { return image->pixels()[(y * 20 + x) * 4 + 3]; };
  EXPECT_EQ(image->pixels()[(10 * 20 + 10) * 4], 255);
  EXPECT_EQ(alphaAt(10, 1), 255);  // the disc reaches the edges' middles
  EXPECT_EQ(alphaAt(0, 0), 0);
  for (double diameter : {0.0, -4.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e9}) {
    image = brelum::circle(diameter, Color::white());
    ASSERT_NE(image, nullptr) << diameter;
    EXPECT_EQ(image->size(), (Size{0, 0})) << diameter;
  }
}

}  // namespace
