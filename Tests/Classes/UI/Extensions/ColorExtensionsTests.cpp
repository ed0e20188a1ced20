#include "Classes/UI/Extensions/ColorExtensions.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "Platform/Graphics/Screen.h"

using brelum::color;
using brelum::colorWithHex;
using brelum::colorWithHex4;
using platform::Color;

namespace {

constexpr Color rgb(int red, int green, int blue) {
  return {red / 255.0, green / 255.0, blue / 255.0, 1};
}

struct HexCase {
  std::string label;
  std::string text;
  Color expected;  // before the alpha, which the table passes as 0.5
};
void PrintTo(const HexCase& c, std::ostream* os) {
  *os << c.label;
}

class ColorHexText : public ::testing::TestWithParam<HexCase> {};

TEST_P(ColorHexText, ReadsTheLowSixDigitsOfTheLeadingNumber) {
  const auto& c = GetParam();
  auto expected = c.expected;
  expected.alpha = 0.5;
  EXPECT_EQ(colorWithHex(c.text, 0.5), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Scanner, ColorHexText,
    ::testing::Values(HexCase{"BlanksAndLowerCase", "  #ff8800\n", rgb(255, 136, 0)},
                      HexCase{"NoHash", "FF8800", rgb(255, 136, 0)},
                      HexCase{"TwoHashes", "##FF8800", rgb(0, 0, 0)},
                      HexCase{"NoDigits", "XYZ", rgb(0, 0, 0)},
                      HexCase{"ThreeDigits", "FFF", rgb(0, 15, 255)},
                      HexCase{"EightDigitsKeepTheLowSix", "#80FF8800", rgb(255, 136, 0)},
                      HexCase{"DigitsUpToTheFirstOther", "12G456", rgb(0, 0, 0x12)},
                      HexCase{"PlatformPrefix", "0x00FF00", rgb(0, 255, 0)},
                      HexCase{"BlankAfterTheHash", "# 0000FF", rgb(0, 0, 255)},
                      HexCase{"MoreDigitsThan64BitsSaturate", "123456789ABCDEF012",
                              rgb(255, 255, 255)},
                      HexCase{"SixteenDigitsStillExact", "123456789A00FF00", rgb(0, 255, 0)}),
    [](const auto& info) { return info.param.label; });

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
  EXPECT_EQ(brelum::image(Color::white(), {0, 10}), nullptr);
}

}  // namespace
