#include "Platform/Graphics/Image.h"

#include <gtest/gtest.h>

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
};

Pixel pixelAt(const Image& image, int x, int y) {
  const auto* p = image.pixels().data() + (std::size_t(y) * std::size_t(image.width()) + x) * 4;
  return {p[0], p[1], p[2], p[3]};
}

void writeBigEndian32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = std::uint8_t(value >> (24 - 8 * i));
}

// A CRC-32 as PNG chunks carry it, so that a test can change a chunk and keep it intact.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

// --- Decoding what servers send -------------------------------------------------------

// An image made of square cells of one colour each.
struct FixtureCase {
  std::string_view file;
  int width, height;
  int cell;                  // side of a cell in pixels
  std::vector<Pixel> cells;  // row by row
  int tolerance;             // lossy formats come back near, not exact
};
void PrintTo(const FixtureCase& c, std::ostream* os) {
  *os << c.file;
}
class ImageFixtureDecoding : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(ImageFixtureDecoding, GivesTheSizeAndPixels) {
  const auto& c = GetParam();
  const auto decoded = Image::decode(resource(c.file));
  ASSERT_TRUE(decoded.has_value()) << description(decoded.error());
  const auto& image = *decoded;
  ASSERT_EQ(image->width(), c.width);
  ASSERT_EQ(image->height(), c.height);
  ASSERT_EQ(image->pixels().size(), std::size_t(c.width * c.height * 4));
  const int cellsPerRow = c.width / c.cell;
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      const Pixel want = c.cells[std::size_t((y / c.cell) * cellsPerRow + x / c.cell)];
      const Pixel got = pixelAt(*image, x, y);
      EXPECT_NEAR(got.r, want.r, c.tolerance) << x << "," << y;
      EXPECT_NEAR(got.g, want.g, c.tolerance) << x << "," << y;
      EXPECT_NEAR(got.b, want.b, c.tolerance) << x << "," << y;
      EXPECT_EQ(got.a, want.a) << x << "," << y;
    }
  }
}

const std::vector<Pixel> kQuadrants = {
    {200, 30, 30, 255}, {30, 200, 30, 255}, {30, 30, 200, 255}, {240, 240, 240, 255}};

// interlaced.gif: a 3 × 8 screen, a frame of 2 × 8 at x = 1 whose second column is the
// transparent index; row y of the frame's first column shows colour y + 1.
std::vector<Pixel> interlacedGIF() {
  std::vector<Pixel> pixels;
  for (int y = 0; y < 8; ++y) {
    const int i = y + 1;
    pixels.insert(pixels.end(), {{0, 0, 0, 0}, {i * 20, 255 - i * 20, i * 10, 255}, {0, 0, 0, 0}});
  }
  return pixels;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ImageFixtureDecoding,
    ::testing::Values(
        FixtureCase{"rgba.png",
                    3,
                    2,
                    1,
                    {{255, 0, 0, 255},
                     {0, 255, 0, 255},
                     {0, 0, 255, 255},
                     {255, 255, 255, 128},
                     {0, 0, 0, 0},
                     {10, 20, 30, 255}},
                    0},
        FixtureCase{"quadrants.jpg", 16, 16, 8, kQuadrants, 8},
        // Stored inverted, as Photoshop writes CMYK: full cyan ink, then half black.
        FixtureCase{"cmyk.jpg", 16, 8, 8, {{0, 255, 255, 255}, {128, 128, 128, 255}}, 8},
        // The second frame is all yellow; only the first one is shown.
        FixtureCase{"twoframes.gif",
                    2,
                    2,
                    1,
                    {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 0, 255}},
                    0},
        FixtureCase{"interlaced.gif", 3, 8, 1, interlacedGIF(), 0}));

// --- Refusals -------------------------------------------------------------------------

struct RefusalCase {
  std::string name;
  Bytes data;
  ImageDecodeError error;
};
void PrintTo(const RefusalCase& c, std::ostream* os) {
  *os << c.name;
}
class ImageRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ImageRefusal, GivesNoImageAndSaysWhy) {
  const auto& c = GetParam();
  const auto decoded = Image::decode(c.data);
  ASSERT_FALSE(decoded.has_value()) << c.name;
  EXPECT_EQ(decoded.error(), c.error) << description(decoded.error());
  EXPECT_EQ(Image::make(c.data), nullptr);
}

Bytes pngClaiming(std::uint32_t width, std::uint32_t height) {
  auto png = resource("rgba.png");
  writeBigEndian32(png, 16, width);  // IHDR data follows signature, length and type
  writeBigEndian32(png, 20, height);
  writeBigEndian32(png, 29, crc32(png.data() + 12, 17));  // over type and data
  return png;
}

Bytes jpegClaiming(std::uint16_t width, std::uint16_t height) {
  auto jpeg = resource("quadrants.jpg");
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // SOF0: length, precision, height, width
      jpeg[i + 5] = std::uint8_t(height >> 8);
      jpeg[i + 6] = std::uint8_t(height);
      jpeg[i + 7] = std::uint8_t(width >> 8);
      jpeg[i + 8] = std::uint8_t(width);
      return jpeg;
    }
  }
  ADD_FAILURE() << "no SOF0 in quadrants.jpg";
  return jpeg;
}

Bytes gifClaiming(std::uint16_t width, std::uint16_t height) {
  auto gif = resource("twoframes.gif");
  gif[6] = std::uint8_t(width);
  gif[7] = std::uint8_t(width >> 8);
  gif[8] = std::uint8_t(height);
  gif[9] = std::uint8_t(height >> 8);
  return gif;
}

// A 2 × 2 screen whose first frame claims 65535 × 65535 pixels: decoding it would take
// billions of steps however little of it the screen shows.
Bytes gifFrameClaiming65535() {
  auto gif = resource("twoframes.gif");
  constexpr std::size_t kFrameWidth = 0x1E;  // in the first image descriptor, after x and y
  for (std::size_t at : {kFrameWidth, kFrameWidth + 2}) gif[at] = gif[at + 1] = 0xFF;
  return gif;
}

// Every scan after the last repeated until there are far more than any encoder writes.
Bytes jpegWithManyScans() {
  const auto jpeg = resource("progressive.jpg");
  std::size_t lastScan = 0;
  for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) lastScan = i;
  }
  Bytes many(jpeg.begin(), jpeg.end() - 2);
  for (int i = 0; i < 200; ++i) many.insert(many.end(), jpeg.begin() + lastScan, jpeg.end() - 2);
  many.insert(many.end(), {0xFF, 0xD9});
  return many;
}

Bytes truncated(std::string_view file, std::size_t keep) {
  auto bytes = resource(file);
  bytes.resize(keep);
  return bytes;
}

Bytes truncatedBy(std::string_view file, std::size_t drop) {
  auto bytes = resource(file);
  bytes.resize(bytes.size() - drop);
  return bytes;
}

Bytes withBytes(std::initializer_list<std::uint8_t> head, std::size_t filler) {
  Bytes bytes(head);
  bytes.resize(bytes.size() + filler, 0x5A);
  return bytes;
}

// The header is checked before a byte of pixel memory is taken; a decoder asked for
// 100000 × 100000 would try for 40 GB.
INSTANTIATE_TEST_SUITE_P(
    Dimensions, ImageRefusal,
    ::testing::Values(
        RefusalCase{"png_16385_high", pngClaiming(1, 16385), ImageDecodeError::tooLarge},
        RefusalCase{"png_over_64_megapixels", pngClaiming(8193, 8193), ImageDecodeError::tooLarge},
        RefusalCase{"jpeg_20000x20000", jpegClaiming(20000, 20000), ImageDecodeError::tooLarge},
        RefusalCase{"gif_65535x65535", gifClaiming(65535, 65535), ImageDecodeError::tooLarge},
        RefusalCase{"gif_frame_65535x65535", gifFrameClaiming65535(), ImageDecodeError::tooLarge},
        RefusalCase{"png_zero_wide", pngClaiming(0, 2), ImageDecodeError::corrupt}));

INSTANTIATE_TEST_SUITE_P(
    Truncation, ImageRefusal,
    ::testing::Values(
        RefusalCase{"png_in_header", truncated("rgba.png", 20), ImageDecodeError::truncated},
        RefusalCase{"png_in_pixel_data", truncated("rgba.png", 50), ImageDecodeError::truncated},
        RefusalCase{"jpeg_in_scan", truncatedBy("quadrants.jpg", 8), ImageDecodeError::truncated},
        RefusalCase{"gif_in_first_frame", truncated("twoframes.gif", 38),
                    ImageDecodeError::truncated},
        RefusalCase{"gif_before_terminator", truncated("twoframes.gif", 40),
                    ImageDecodeError::truncated}));

INSTANTIATE_TEST_SUITE_P(
    Garbage, ImageRefusal,
    ::testing::Values(
        RefusalCase{"empty", {}, ImageDecodeError::empty},
        RefusalCase{"text", withBytes({'h', 'e', 'l', 'l', 'o'}, 0),
                    ImageDecodeError::unsupportedFormat},
        RefusalCase{"png_signature_then_noise",
                    withBytes({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, 64),
                    ImageDecodeError::truncated},
        RefusalCase{"jpeg_start_then_noise", withBytes({0xFF, 0xD8, 0xFF}, 64),
                    ImageDecodeError::corrupt},
        RefusalCase{"jpeg_with_hundreds_of_scans", jpegWithManyScans(), ImageDecodeError::corrupt},
        RefusalCase{"png_without_header_chunk",
                    withBytes({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0,    0,
                               0,    0,   'I', 'E', 'N',  'D',  0xAE, 0x42, 0x60, 0x82},
                              0),
                    ImageDecodeError::corrupt},
        RefusalCase{"gif_trailer_before_any_image",
                    withBytes({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}, 0),
                    ImageDecodeError::corrupt}));

TEST(ImageDecoding, RefusesMoreThan32MiBUnread) {
  auto bytes = resource("rgba.png");
  bytes.resize((std::size_t{32} << 20) + 1);
  EXPECT_EQ(Image::decode(bytes).error(), ImageDecodeError::tooManyBytes);
  bytes.resize(std::size_t{32} << 20);
  EXPECT_TRUE(Image::decode(bytes).has_value());  // bytes after the end are ignored
}

TEST(ImageDecoding, GIFCutAfterItsFirstFrameStillShowsIt) {
  const auto image = Image::make(truncated("twoframes.gif", 41));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(pixelAt(*image, 1, 1).b, 0);  // yellow, from the first frame
}

TEST(ImageDecoding, LimitsAreTheCallersToChoose) {
  const auto png = resource("rgba.png");
  EXPECT_EQ(Image::decode(png, {.maximumBytes = png.size() - 1}).error(),
            ImageDecodeError::tooManyBytes);
  EXPECT_EQ(Image::decode(png, {.maximumSide = 2}).error(), ImageDecodeError::tooLarge);
  EXPECT_EQ(Image::decode(png, {.maximumPixels = 5}).error(), ImageDecodeError::tooLarge);
  EXPECT_TRUE(
      Image::decode(png, {.maximumBytes = png.size(), .maximumSide = 3, .maximumPixels = 6}));
}

// --- Encoding -------------------------------------------------------------------------

TEST(ImagePNG, RoundTripKeepsAlphaExactlyAndColoursWithinPremultiplication) {
  std::vector<std::uint8_t> rgba;
  const std::vector<int> alphas = {255, 254, 200, 128, 64, 17, 1, 0};
  for (int a : alphas) {
    for (int c : {0, 1, 99, 200, 255}) {
      rgba.insert(rgba.end(), {std::uint8_t(c), std::uint8_t(255 - c), std::uint8_t(c / 2 + 60),
                               std::uint8_t(a)});
    }
  }
  const auto original = Image::make(5, int(alphas.size()), rgba);
  ASSERT_NE(original, nullptr);
  const auto png = original->pngData();
  ASSERT_TRUE(png.has_value());
  const auto back = Image::make(*png);
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->width(), 5);
  ASSERT_EQ(back->height(), int(alphas.size()));
  for (int y = 0; y < back->height(); ++y) {
    for (int x = 0; x < 5; ++x) {
      const Pixel want = pixelAt(*original, x, y);
      const Pixel got = pixelAt(*back, x, y);
      ASSERT_EQ(got.a, want.a) << x << "," << y;
      if (want.a == 0) {
        EXPECT_EQ(got.r + got.g + got.b, 0) << x << "," << y;
        continue;
      }
      // Premultiplied storage keeps a channel to within 255 / alpha.
      const int tolerance = want.a == 255 ? 0 : (255 + want.a - 1) / want.a;
      EXPECT_NEAR(got.r, want.r, tolerance) << x << "," << y;
      EXPECT_NEAR(got.g, want.g, tolerance) << x << "," << y;
      EXPECT_NEAR(got.b, want.b, tolerance) << x << "," << y;
    }
  }
}

TEST(ImagePNG, SidesBeyondTheEncoderGiveNoData) {
  const auto wide = Image::make(32768, 1, Bytes(32768 * 4, 0xFF));
  ASSERT_NE(wide, nullptr);
  EXPECT_FALSE(wide->pngData().has_value());
}

TEST(ImagePixels, MakeRefusesPixelsThatDoNotFitTheSize) {
  EXPECT_EQ(Image::make(2, 2, Bytes(15)), nullptr);
  EXPECT_EQ(Image::make(2, 2, Bytes(17)), nullptr);
  EXPECT_EQ(Image::make(-1, -4, Bytes(16)), nullptr);
}

}  // namespace
