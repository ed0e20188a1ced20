#include "Platform/Graphics/ImageContext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>

#include "Platform/Foundation/Bundle.h"
#include "Platform/Graphics/Screen.h"

using platform::Bundle;
using platform::Color;
using platform::Image;
using platform::ImageContext;
using platform::Rect;
using platform::Screen;
using platform::Size;

namespace {

std::array<int, 4> pixel(const Image& image, int x, int y) {
  const auto* p = image.pixels().data() + (std::size_t(y) * std::size_t(image.width()) + x) * 4;
  return {p[0], p[1], p[2], p[3]};
}

TEST(ImageContextTest, FillsAtTheScaleAndKeepsCornersOfAnEllipseClearOrMakesNoImage) {
  ImageContext context({10, 10}, false, 2);
  context.setFillColor({2.0, 0.5, -1, 1});  // unclamped colour: clamped when drawn
  context.fillRect({0, 0, 5, 10});
  context.saveState();
  context.setFillColor(Color::white());
  context.fillEllipse({5, 0, 5, 5});
  context.restoreState();
  context.fillRect({5, 5, 5, 5});  // the saved colour again
  auto image = context.makeImage();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width(), 20);
  EXPECT_EQ(image->scale(), 2);
  EXPECT_EQ(image->size(), (Size{10, 10}));
  EXPECT_EQ(pixel(*image, 0, 0), (std::array{255, 128, 0, 255}));
  EXPECT_EQ(pixel(*image, 15, 5), (std::array{255, 255, 255, 255}));  // ellipse centre
  EXPECT_EQ(pixel(*image, 19, 0)[3], 0);                              // its corner
  EXPECT_EQ(pixel(*image, 19, 19), (std::array{255, 128, 0, 255}));

  // Scale zero is the screen's; bad sizes and an unbalanced restore make no image.
  Screen::main().setScale(3);
  EXPECT_EQ(ImageContext({2, 1}, true, 0).makeImage()->width(), 6);
  Screen::main().setScale(1);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (Size size : {Size{0, 5}, Size{-1, 5}, Size{nan, 1}, Size{1e9, 1}}) {
    ImageContext context(size, false, 1);
    context.fillRect({0, 0, 1, 1});
    EXPECT_EQ(context.makeImage(), nullptr) << size.width;
  }
  ImageContext unbalanced({1, 1}, false, 1);
  unbalanced.restoreState();
  EXPECT_EQ(unbalanced.makeImage(), nullptr);
}

TEST(ImageTest, NamedPrefersTheScreensScaleVariant) {
  const auto folder = std::filesystem::temp_directory_path() / "named-images";
  std::filesystem::create_directories(folder / "Resources");
  for (int side : {4, 8}) {
    const auto png = *ImageContext({double(side), double(side)}, true, 1).makeImage()->pngData();
    std::ofstream(folder / "Resources" / (side == 4 ? "close.png" : "close@2x.png"),
                  std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
  }
  auto bundle = Bundle::make(folder / "host");
  Screen::main().setScale(3);
  auto image = Image::named("close", *bundle);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->scale(), 2);
  EXPECT_EQ(image->size(), (Size{4, 4}));
  Screen::main().setScale(1);
  EXPECT_EQ(Image::named("close", *bundle)->scale(), 1);
  EXPECT_EQ(Image::named("missing", *bundle), nullptr);
  auto tinted = image->withRenderingMode(Image::RenderingMode::alwaysTemplate);
  EXPECT_EQ(tinted->pixels().data(), image->pixels().data());
  EXPECT_EQ(tinted->scale(), 2);
  std::filesystem::remove_all(folder);
}

}  // namespace
