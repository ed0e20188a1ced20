#include "Platform/Graphics/Image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

using platform::Image;
using platform::ImageDecodeError;
using enum platform::ImageDecodeError;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes resource(std::string_view name) {
  std::ifstream in(
      std::string(BRELUM_SOURCE_DIR "/Tests/Platform/Graphics/Resources/") + std::string(name),
      std::ios::binary);
  EXPECT_TRUE(in) << name;
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct Pixel {
  int r, g, b, a;
  friend bool operator==(const Pixel&, const Pixel&) = default;
  friend void PrintTo(const Pixel& p, std::ostream* os) {
    *os << "{" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << "}";
  }
};

Pixel pixelAt(const Image& image, int x, int y) {
  const auto* p = image.pixels().data() + (std::size_t(y) * std::size_t(image.width()) + x) * 4;
  return {p[0], p[1], p[2], p[3]};
}

// `image` through PNG and back: its pixel at (x, y), or -1s when that failed.
Pixel throughPNG(const Image& image, int x, int y) {
  const auto back = Image::make(image.pngData().value_or(Bytes{}));
  return back ? pixelAt(*back, x, y) : Pixel{-1, -1, -1, -1};
}

// Colour channels within `tolerance`.
bool near(Pixel got, Pixel want, int tolerance) {
  return std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
         std::abs(got.b - want.b) <= tolerance;
}

// --- Decoding what servers send -------------------------------------------------------

// An image made of square cells of one colour each.
struct FixtureCase {
  std::string_view file;
  int width, height;
  int cell;                  // side of a cell in pixels
  std::vector<Pixel> cells;  // row by row
  int tolerance;             // lossy formats come back near, not exact
  friend void PrintTo(const FixtureCase& c, std::ostream* os) { *os << c.file; }
};
class ImageFixtureDecoding : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(ImageFixtureDecoding, GivesTheSizeAndPixels) {
  const auto& c = GetParam();
  const auto decoded = Image::decode(resource(c.file));
  ASSERT_TRUE(decoded.has_value()) << description(decoded.error());
  const auto& image = *decoded;
  ASSERT_EQ(image->width(), c.width);
  ASSERT_EQ(image->height(), c.height);
  for (int i = 0, x = 0, y = 0; i < c.width * c.height; x = ++i % c.width, y = i / c.width) {
    const Pixel want = c.cells[std::size_t((y / c.cell) * (c.width / c.cell) + x / c.cell)];
    const Pixel got = pixelAt(*image, x, y);
    EXPECT_TRUE(near(got, want, c.tolerance))
        << x << "," << y << ": " << ::testing::PrintToString(got);
    EXPECT_EQ(got.a, want.a) << x << "," << y;
  }
}

const std::vector<Pixel> kRGBA = {{255, 0, 0, 255},     {0, 255, 0, 255}, {0, 0, 255, 255},
                                  {255, 255, 255, 128}, {0, 0, 0, 0},     {10, 20, 30, 255}};
const std::vector<Pixel> kQuadrants = {
    {200, 30, 30, 255}, {30, 200, 30, 255}, {30, 30, 200, 255}, {240, 240, 240, 255}};
// Stored inverted, as Photoshop writes CMYK: full cyan ink, then half black.
const std::vector<Pixel> kCMYK = {{0, 255, 255, 255}, {128, 128, 128, 255}};
// The second frame is all yellow; only the first one is shown.
const std::vector<Pixel> kFirstFrame = {
    {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 0, 255}};

// interlaced.gif: a 3 × 8 screen, a frame of 2 × 8 at x = 1 whose second column is the
// transparent index; row y of the frame's first column shows colour y + 1.
std::vector<Pixel> interlacedGIF() {
  std::vector<Pixel> pixels;
  for (int i = 1; i <= 8; ++i) {
    pixels.insert(pixels.end(), {{0, 0, 0, 0}, {i * 20, 255 - i * 20, i * 10, 255}, {0, 0, 0, 0}});
  }
  return pixels;
}

INSTANTIATE_TEST_SUITE_P(Formats, ImageFixtureDecoding,
                         ::testing::Values(FixtureCase{"rgba.png", 3, 2, 1, kRGBA, 0},
                                           FixtureCase{"quadrants.jpg", 16, 16, 8, kQuadrants, 8},
                                           FixtureCase{"cmyk.jpg", 16, 8, 8, kCMYK, 8},
                                           FixtureCase{"twoframes.gif", 2, 2, 1, kFirstFrame, 0},
                                           FixtureCase{"interlaced.gif", 3, 8, 1, interlacedGIF(),
                                                       0}));

// --- Refusals -------------------------------------------------------------------------

struct RefusalCase {
  std::string name;
  Bytes data;
  ImageDecodeError error;
  friend void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }
};
class ImageRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ImageRefusal, GivesNoImageAndSaysWhy) {
  const auto& c = GetParam();
  const auto decoded = Image::decode(c.data);
  ASSERT_FALSE(decoded.has_value());
  EXPECT_EQ(decoded.error(), c.error);
  EXPECT_EQ(Image::make(c.data), nullptr);
}

// `file` with `bytes` written `skip` bytes after the first `marker` (an empty one: the start).
Bytes patched(std::string_view file, const Bytes& marker, std::size_t skip, const Bytes& bytes) {
  auto data = resource(file);
  const auto at = std::ranges::search(data, marker).begin();
  EXPECT_NE(at, data.end()) << file;
  std::ranges::copy(bytes, at + std::ptrdiff_t(skip));
  return data;
}

// Every scan after the last repeated until there are far more than any encoder writes.
Bytes jpegWithManyScans() {
  const auto jpeg = resource("progressive.jpg");
  const auto lastScan = std::ranges::find_end(jpeg, Bytes{0xFF, 0xDA}).begin();
  Bytes many(jpeg.begin(), jpeg.end() - 2);
  for (int i = 0; i < 200; ++i) many.insert(many.end(), lastScan, jpeg.end() - 2);
  many.insert(many.end(), {0xFF, 0xD9});
  return many;
}

// The first `keep` bytes of `file`; a negative `keep` drops that many from its end.
Bytes cutShort(std::string_view file, std::ptrdiff_t keep) {
  auto bytes = resource(file);
  bytes.resize(std::size_t(keep < 0 ? std::ptrdiff_t(bytes.size()) + keep : keep));
  return bytes;
}

Bytes withBytes(std::initializer_list<std::uint8_t> head, std::size_t filler) {
  Bytes bytes(head);
  bytes.resize(bytes.size() + filler, 0x5A);
  return bytes;
}

// The header is checked before a byte of pixel memory is taken; a decoder asked for
// 100000 × 100000 would try for 40 GB. The JPEG's SOF0 claims 20000 × 20000; the GIF's screen,
// then its first frame (a 2 × 2 screen, whose frame would take billions of steps however
// little of it shows), 65535 × 65535.
INSTANTIATE_TEST_SUITE_P(
    Data, ImageRefusal,
    ::testing::Values(
        RefusalCase{"jpeg_20000x20000",
                    patched("quadrants.jpg", {0xFF, 0xC0}, 5, {0x4E, 0x20, 0x4E, 0x20}), tooLarge},
        RefusalCase{"gif_65535x65535", patched("twoframes.gif", {}, 6, Bytes(4, 0xFF)), tooLarge},
        RefusalCase{"gif_frame_65535x65535", patched("twoframes.gif", {}, 0x1E, Bytes(4, 0xFF)),
                    tooLarge},
        // Data that ends early.
        RefusalCase{"png_in_header", cutShort("rgba.png", 20), truncated},
        RefusalCase{"png_in_pixel_data", cutShort("rgba.png", 50), truncated},
        RefusalCase{"jpeg_in_scan", cutShort("quadrants.jpg", -8), truncated},
        RefusalCase{"gif_in_first_frame", cutShort("twoframes.gif", 38), truncated},
        RefusalCase{"gif_before_terminator", cutShort("twoframes.gif", 40), truncated},
        // Other formats and damage.
        RefusalCase{"empty", {}, empty},
        RefusalCase{"text", withBytes({'h', 'e', 'l', 'l', 'o'}, 0), unsupportedFormat},
        RefusalCase{"png_signature_then_noise",
                    withBytes({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, 64), truncated},
        RefusalCase{"jpeg_start_then_noise", withBytes({0xFF, 0xD8, 0xFF}, 64), corrupt},
        RefusalCase{"jpeg_with_hundreds_of_scans", jpegWithManyScans(), corrupt},
        RefusalCase{"png_without_header_chunk",
                    withBytes({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0,    0,
                               0,    0,   'I', 'E', 'N',  'D',  0xAE, 0x42, 0x60, 0x82},
                              0),
                    corrupt},
        RefusalCase{"gif_trailer_before_any_image",
                    withBytes({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}, 0),
                    corrupt}));

// The default limits: 16384 pixels a side and 64 Mi pixels in all, both inclusive.
TEST(ImageDecoding, RefusesMoreThan32MiBUnreadOrBeyondTheSideAndPixelLimits) {
  const Image::DecodeLimits limits;
  EXPECT_TRUE(limits.admits(16384, 4096));
  EXPECT_TRUE(limits.admits(4096, 16384));
  EXPECT_TRUE(limits.admits(8192, 8192));
  EXPECT_FALSE(limits.admits(16385, 1));
  EXPECT_FALSE(limits.admits(1, 16385));
  EXPECT_FALSE(limits.admits(8193, 8192));
  auto bytes = resource("rgba.png");
  bytes.resize((std::size_t{32} << 20) + 1);
  EXPECT_EQ(Image::decode(bytes).error(), tooManyBytes);
  bytes.resize(std::size_t{32} << 20);
  EXPECT_TRUE(Image::decode(bytes).has_value());  // bytes after the end are ignored

  const auto png = resource("rgba.png");  // other limits, of the caller's choosing
  EXPECT_EQ(Image::decode(png, {.maximumBytes = png.size() - 1}).error(), tooManyBytes);
  EXPECT_EQ(Image::decode(png, {.maximumSide = 2}).error(), tooLarge);
}

TEST(ImageDecoding, GIFCutAfterItsFirstFrameStillShowsIt) {
  const auto image = Image::make(cutShort("twoframes.gif", 41));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(pixelAt(*image, 1, 1).b, 0);  // yellow, from the first frame
}

// --- Encoding -------------------------------------------------------------------------

// The encoder premultiplies: a colour under partial alpha may come back a step off, a clear
// one as transparent black.
TEST(ImagePixels, MakeTakesExactlyItsPixelsAndPNGKeepsOpaqueOnesAndAlphaExactly) {
  const auto image = Image::make(3, 1, {10, 200, 30, 255, 250, 100, 0, 128, 99, 99, 99, 0});
  EXPECT_EQ(throughPNG(*image, 0, 0), (Pixel{10, 200, 30, 255}));
  const Pixel half = throughPNG(*image, 1, 0);
  EXPECT_TRUE(near(half, {250, 100, 0, 128}, 1)) << ::testing::PrintToString(half);
  EXPECT_EQ(half.a, 128);
  EXPECT_EQ(throughPNG(*image, 2, 0), Pixel{});
  EXPECT_FALSE(Image::make(32768, 1, Bytes(32768 * 4, 0xFF))->pngData().has_value());
  EXPECT_EQ(Image::make(2, 2, Bytes(15)), nullptr);
  EXPECT_EQ(Image::make(2, 2, Bytes(17)), nullptr);
  EXPECT_EQ(Image::make(-1, -4, Bytes(16)), nullptr);
}

// A video picture is wrapped as the decoder left it: blue, green, red, an unused byte, and
// rows padded past the width.
TEST(ImagePixels, WrappedPicturesKeepTheirRowsAndEncodeOpaque) {
  auto bytes = std::make_shared<Bytes>(Bytes{10, 20, 30, 0, 40, 50, 60, 0, 9, 9, 9, 9,  //
                                             70, 80, 90, 0, 1,  2,  3,  0, 9, 9, 9, 9});
  const std::shared_ptr<const std::uint8_t> pixels(bytes, bytes->data());
  EXPECT_EQ(Image::wrap(3, 2, 8, Image::PixelFormat::bgrx, pixels), nullptr);
  EXPECT_EQ(Image::wrap(2, 0, 12, Image::PixelFormat::bgrx, pixels), nullptr);
  EXPECT_EQ(Image::wrap(0, 2, 12, Image::PixelFormat::bgrx, pixels), nullptr);
  const auto picture = Image::wrap(2, 2, 12, Image::PixelFormat::bgrx, pixels);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->pixels().data(), bytes->data());
  EXPECT_EQ(throughPNG(*picture, 1, 1), (Pixel{3, 2, 1, 255}));
}

}  // namespace
