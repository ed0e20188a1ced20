#include "Classes/UI/Extensions/ColorExtensions.h"

#include <gtest/gtest.h>

#include <utility>

#include "Platform/Graphics/Screen.h"

using brelum::color;
using brelum::colorWithHex;
using brelum::colorWithHex4;
using platform::Color;

namespace {

constexpr Color rgb(int red, int green, int blue) {
  return {red / 255.0, green / 255.0, blue / 255.0, 1};
}

// The low six digits of the leading number, with the alpha passed through.
TEST(ColorHexText, ReadsTheLowSixDigitsOfTheLeadingNumber) {
  for (const auto& [text, expected] : std::initializer_list<std::pair<const char*, Color>>{
           {"  #ff8800\n", rgb(255, 136, 0)},
           {"##FF8800", rgb(0, 0, 0)},  // one hash only
           {"FFF", rgb(0, 15, 255)},
           {"#80FF8800", rgb(255, 136, 0)},
           {"12G456", rgb(0, 0, 0x12)},  // digits up to the first other character
           {"0x00FF00", rgb(0, 255, 0)},
           {"# 0000FF", rgb(0, 0, 255)},                // blanks after the hash are skipped
           {"123456789ABCDEF012", rgb(255, 255, 255)},  // more than 64 bits saturate
           {"123456789A00FF00", rgb(0, 255, 0)}}) {
    EXPECT_EQ(colorWithHex(text, 0.5), (Color{expected.red, expected.green, expected.blue, 0.5}))
        << text;
  }
}

TEST(ColorIntegers, AreFractionsOf255KeptOutsideTheRange) {
  EXPECT_EQ(color(510, 255, 0, 51), (Color{2.0, 1.0, 0.0, 0.2}));
  // Bits above the colour are ignored; alpha is always full.
  EXPECT_EQ(color(0x7F123456), rgb(0x12, 0x34, 0x56));
  EXPECT_EQ(color(-1), rgb(255, 255, 255));
  EXPECT_EQ(colorWithHex4(0x80FF0000), (Color{1, 0, 0, 128 / 255.0}));
  EXPECT_EQ(colorWithHex4(0x1280FF0000), (Color{1, 0, 0, 128 / 255.0}));
}

TEST(ColorImage, FillsEveryPixelAtTheScreenScale) {
  auto& screen = platform::Screen::main();
  const double scale = screen.scale();
  screen.setScale(2);
  auto image = brelum::image(colorWithHex4(0x80FF0000), {3, 2});
  screen.setScale(scale);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->size(), (platform::Size{3, 2}));
  EXPECT_EQ(image->width(), 6);
  const auto pixels = image->pixels();
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    EXPECT_EQ(pixels[i], 255);
    EXPECT_NEAR(pixels[i + 3], 128, 1);
  }
}

}  // namespace
