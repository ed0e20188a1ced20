#include "Platform/Graphics/Image.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include <cairo.h>
#include <stb/stb_image.h>

#include "Platform/Foundation/Bundle.h"
#include "Platform/Graphics/Screen.h"

namespace platform {
namespace {

enum class Format { png, jpeg, gif };

// stb_image reads a dozen formats; only the three that images on the web come in are let
// through, which also keeps the less travelled parsers (PSD, HDR, PIC) away from untrusted
// bytes.
std::optional<Format> sniff(std::span<const std::uint8_t> data) {
  static constexpr std::uint8_t kPNG[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto startsWith = [&](std::span<const std::uint8_t> prefix) {
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
  };
  if (startsWith(kPNG)) return Format::png;
  if (data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
    return Format::jpeg;
  }
  if (data.size() >= 6 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F' && data[3] == '8' &&
      (data[4] == '7' || data[4] == '9') && data[5] == 'a') {
    return Format::gif;
  }
  return std::nullopt;
}

enum class Structure { complete, truncated, malformed };

// What the container says before any decoding: whether all of the image is there, and the
// dimensions its header claims.
struct Scan {
  Structure structure = Structure::truncated;
  std::optional<std::uint64_t> width;
  std::optional<std::uint64_t> height;
};

// The dimensions are read here rather than asked of stb_image, whose own checks refuse a
// huge header as damaged data (and whose limits are not ours).
//
// Decoders also differ in how they meet data that stops early: stb's PNG reader fails, but
// its JPEG reader pads the stream with grey and its GIF reader takes a missing byte for a
// block terminator, both reporting success. So every format's structure is walked before
// decoding, and an image whose data ends early is refused alike.

std::uint64_t bigEndian(std::span<const std::uint8_t> data, std::size_t at, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | data[at + std::size_t(i)];
  return value;
}

// A PNG is a chain of chunks (length, type, data, CRC) from IHDR, which holds width and
// height, to IEND.
Scan scanPNG(std::span<const std::uint8_t> data) {
  constexpr std::size_t kSignature = 8;
  constexpr std::size_t kChunkOverhead = 12;
  Scan scan;
  std::size_t pos = kSignature;
  const std::size_t size = data.size();
  while (true) {
    if (kChunkOverhead > size - pos) return scan;
    const std::size_t length = bigEndian(data, pos, 4);
    const auto* type = data.data() + pos + 4;
    if (length > size - pos - kChunkOverhead) return scan;
    if (pos == kSignature) {
      if (std::memcmp(type, "IHDR", 4) != 0 || length < 8) {
        scan.structure = Structure::malformed;
        return scan;
      }
      scan.width = bigEndian(data, pos + 8, 4);
      scan.height = bigEndian(data, pos + 12, 4);
    }
    pos += kChunkOverhead + length;
    if (std::memcmp(type, "IEND", 4) == 0) {
      scan.structure = Structure::complete;
      return scan;
    }
  }
}

bool isStartOfFrame(std::uint8_t marker) {
  // C0 to CF, except DHT (C4), JPG (C8) and DAC (CC).
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// A Huffman table segment: tables of a class/id byte, 16 code-length counts and as many
// symbols as the counts add up to. A table of more than 256 symbols would overrun the
// decoder's tables, so it is refused here rather than trusted to the decoder.
// Tables defined so far, by class (0 DC, 1 AC) and id (0 to 3).
using HuffmanTables = std::array<std::array<bool, 4>, 2>;

bool readHuffmanTables(std::span<const std::uint8_t> segment, HuffmanTables& defined) {
  constexpr std::size_t kTableHead = 17;
  constexpr std::size_t kMaximumSymbols = 256;
  std::size_t pos = 0;
  while (pos < segment.size()) {
    if (segment.size() - pos < kTableHead) return false;
    const std::uint8_t tableClass = segment[pos] >> 4;
    const std::uint8_t id = segment[pos] & 0x0F;
    if (tableClass > 1 || id > 3) return false;
    std::size_t symbols = 0;
    for (std::size_t i = 1; i < kTableHead; ++i) symbols += segment[pos + i];
    if (symbols > kMaximumSymbols || symbols > segment.size() - pos - kTableHead) return false;
    defined[tableClass][id] = true;
    pos += kTableHead + symbols;
  }
  return true;
}

// A scan may only use tables defined before it: a decoder would read an empty table past
// its end. A scan of DC coefficients (spectral start 0) uses DC tables, one that reaches AC
// coefficients (spectral end above 0) AC tables.
bool scanUsesDefinedTables(std::span<const std::uint8_t> segment, const HuffmanTables& defined) {
  if (segment.empty()) return false;
  const std::size_t components = segment[0];
  if (segment.size() < 1 + 2 * components + 3) return false;
  const std::uint8_t spectralStart = segment[1 + 2 * components];
  const std::uint8_t spectralEnd = segment[2 + 2 * components];
  for (std::size_t c = 0; c < components; ++c) {
    const std::uint8_t tables = segment[2 + 2 * c];
    if ((tables >> 4) > 3 || (tables & 0x0F) > 3) return false;
    if (spectralStart == 0 && !defined[0][tables >> 4]) return false;
    if (spectralEnd > 0 && !defined[1][tables & 0x0F]) return false;
  }
  return true;
}

// A JPEG stream: marker segments by their lengths (the first start-of-frame segment holds
// height and width), entropy-coded data byte by byte (in it every 0xFF is followed by a
// stuffed 0x00 or a restart marker), up to the end-of-image marker. Stray bytes between
// segments are skipped, as decoders tolerate them.
Scan scanJPEG(std::span<const std::uint8_t> data) {
  Scan scan;
  HuffmanTables huffmanTables{};
  std::size_t pos = 2;
  const std::size_t size = data.size();
  while (true) {
    while (pos < size && data[pos] != 0xFF) ++pos;
    while (pos < size && data[pos] == 0xFF) ++pos;
    if (pos >= size) return scan;
    const std::uint8_t marker = data[pos++];
    if (marker == 0xD9) {
      scan.structure = Structure::complete;
      return scan;
    }
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (pos + 2 > size) return scan;
    const std::size_t length = bigEndian(data, pos, 2);
    if (length < 2) {
      scan.structure = Structure::malformed;
      return scan;
    }
    if (length > size - pos) return scan;
    const auto segment = data.subspan(pos + 2, length - 2);
    if ((marker == 0xC4 && !readHuffmanTables(segment, huffmanTables)) ||
        (marker == 0xDA && !scanUsesDefinedTables(segment, huffmanTables))) {
      scan.structure = Structure::malformed;
      return scan;
    }
    // Length, sample precision, then height and width.
    if (isStartOfFrame(marker) && !scan.width && length >= 7) {
      scan.height = bigEndian(data, pos + 3, 2);
      scan.width = bigEndian(data, pos + 5, 2);
    }
    pos += length;
  }
}

// A GIF: the logical screen (whose size every frame is decoded at), then the blocks up to
// the end of the first image's data.
Scan scanGIF(std::span<const std::uint8_t> data) {
  constexpr std::size_t kHeaderAndScreen = 13;
  Scan scan;
  const std::size_t size = data.size();
  if (size < kHeaderAndScreen) return scan;
  scan.width = data[6] | (std::uint64_t{data[7]} << 8);
  scan.height = data[8] | (std::uint64_t{data[9]} << 8);
  auto colorTableSize = [](std::uint8_t flags) -> std::size_t {
    return (flags & 0x80) ? 3 * (std::size_t{1} << ((flags & 0x07) + 1)) : 0;
  };
  std::size_t pos = kHeaderAndScreen + colorTableSize(data[10]);
  auto skipSubBlocks = [&]() -> bool {
    while (pos < size) {
      const std::uint8_t length = data[pos++];
      if (length == 0) return true;
      if (length > size - pos) return false;
      pos += length;
    }
    return false;
  };
  while (pos < size) {
    const std::uint8_t introducer = data[pos++];
    if (introducer == 0x21) {  // extension: label, then sub-blocks
      if (pos >= size) return scan;
      ++pos;
      if (!skipSubBlocks()) return scan;
    } else if (introducer == 0x2C) {  // image: descriptor, colour table, LZW code size, data
      constexpr std::size_t kDescriptor = 9;
      if (kDescriptor > size - pos) return scan;
      const std::size_t table = colorTableSize(data[pos + 8]);
      pos += kDescriptor;
      if (table + 1 > size - pos) return scan;
      pos += table + 1;
      if (skipSubBlocks()) scan.structure = Structure::complete;
      return scan;
    } else {
      // The trailer (0x3B) before any image, or a block the format does not have.
      scan.structure = Structure::malformed;
      return scan;
    }
  }
  return scan;
}

// Premultiplies with rounding; cairo's PNG writer divides back out with rounding, which is
// what keeps opaque pixels and every alpha value exact.
std::uint32_t premultipliedARGB(const std::uint8_t* rgba) {
  const std::uint32_t a = rgba[3];
  auto scale = [a](std::uint32_t c) { return (c * a + 127) / 255; };
  return (a << 24) | (scale(rgba[0]) << 16) | (scale(rgba[1]) << 8) | scale(rgba[2]);
}

cairo_status_t appendToVector(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
  try {
    out->insert(out->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    return CAIRO_STATUS_NO_MEMORY;
  }
  return CAIRO_STATUS_SUCCESS;
}

// Cairo keeps image coordinates in 16-bit fixed point.
constexpr int kMaximumEncodableSide = 32767;

}  // namespace

std::string_view description(ImageDecodeError error) noexcept {
  switch (error) {
    case ImageDecodeError::empty:
      return "no image data";
    case ImageDecodeError::tooManyBytes:
      return "image data larger than allowed";
    case ImageDecodeError::unsupportedFormat:
      return "not a PNG, JPEG or GIF image";
    case ImageDecodeError::tooLarge:
      return "image dimensions larger than allowed";
    case ImageDecodeError::truncated:
      return "image data ends early";
    case ImageDecodeError::corrupt:
      return "image data is damaged";
  }
  return "unknown image error";
}

Image::Image(int width, int height, std::shared_ptr<const std::uint8_t> pixels)
    : width_(width), height_(height), pixels_(std::move(pixels)) {
}

std::shared_ptr<Image> Image::make(std::span<const std::uint8_t> data) {
  return decode(data).value_or(nullptr);
}

std::shared_ptr<Image> Image::make(int width, int height, std::vector<std::uint8_t> rgba,
                                   double scale) {
  if (width <= 0 || height <= 0) return nullptr;
  const auto expected = std::uint64_t(width) * std::uint64_t(height) * 4;
  if (rgba.size() != expected) return nullptr;
  auto owner = std::make_shared<const std::vector<std::uint8_t>>(std::move(rgba));
  std::shared_ptr<const std::uint8_t> pixels(owner, owner->data());
  std::shared_ptr<Image> image(new Image(width, height, std::move(pixels)));
  // A scale below 1 would make a point smaller than a pixel's worth of the image's data.
  if (std::isfinite(scale) && scale > 1) image->scale_ = scale;
  return image;
}

std::shared_ptr<Image> Image::withRenderingMode(RenderingMode mode) const {
  std::shared_ptr<Image> image(new Image(width_, height_, pixels_));
  image->scale_ = scale_;
  image->renderingMode_ = mode;
  return image;
}

std::expected<std::shared_ptr<Image>, ImageDecodeError> Image::decode(
    std::span<const std::uint8_t> data) {
  return decode(data, DecodeLimits{});
}

std::expected<std::shared_ptr<Image>, ImageDecodeError> Image::decode(
    std::span<const std::uint8_t> data, const DecodeLimits& limits) {
  if (data.empty()) return std::unexpected(ImageDecodeError::empty);
  if (data.size() > limits.maximumBytes || data.size() > std::size_t{INT_MAX}) {
    return std::unexpected(ImageDecodeError::tooManyBytes);
  }
  const auto format = sniff(data);
  if (!format) return std::unexpected(ImageDecodeError::unsupportedFormat);

  // The header alone says how much memory decoding will take; refuse before any of it is
  // allocated.
  const Scan scan = *format == Format::png    ? scanPNG(data)
                    : *format == Format::jpeg ? scanJPEG(data)
                                              : scanGIF(data);
  const auto maximumSide = std::uint64_t(std::max(limits.maximumSide, 0));
  if (scan.width && scan.height &&
      (*scan.width > maximumSide || *scan.height > maximumSide ||
       *scan.width * *scan.height > limits.maximumPixels)) {
    return std::unexpected(ImageDecodeError::tooLarge);
  }
  if (scan.structure == Structure::truncated) return std::unexpected(ImageDecodeError::truncated);
  if (scan.structure == Structure::malformed) return std::unexpected(ImageDecodeError::corrupt);
  // The JPEG decoder at hand reads outside its tables on crafted streams (fuzzing found three
  // ways), so JPEG data is recognised and measured but not decoded.
  if (*format == Format::jpeg) return std::unexpected(ImageDecodeError::unsupportedFormat);

  // The decoder's own reading of the header has to agree before it is let loose on the rest.
  const auto* bytes = reinterpret_cast<const stbi_uc*>(data.data());
  const int length = static_cast<int>(data.size());
  int width = 0;
  int height = 0;
  int channels = 0;
  if (!stbi_info_from_memory(bytes, length, &width, &height, &channels) || width <= 0 ||
      height <= 0 || std::uint64_t(width) != scan.width || std::uint64_t(height) != scan.height) {
    return std::unexpected(ImageDecodeError::corrupt);
  }

  int decodedWidth = 0;
  int decodedHeight = 0;
  // For a GIF this is the first frame.
  std::shared_ptr<const std::uint8_t> pixels(
      stbi_load_from_memory(bytes, length, &decodedWidth, &decodedHeight, &channels, 4),
      [](const std::uint8_t* buffer) { stbi_image_free(const_cast<std::uint8_t*>(buffer)); });
  if (!pixels || decodedWidth != width || decodedHeight != height) {
    return std::unexpected(ImageDecodeError::corrupt);
  }
  return std::shared_ptr<Image>(new Image(width, height, std::move(pixels)));
}

std::optional<std::vector<std::uint8_t>> Image::pngData() const {
  if (width_ > kMaximumEncodableSide || height_ > kMaximumEncodableSide) return std::nullopt;
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width_);
  if (stride <= 0) return std::nullopt;

  // Cairo wants native-endian 32-bit words, premultiplied.
  const std::size_t wordsPerRow = std::size_t(stride) / 4;
  std::vector<std::uint32_t> argb;
  try {
    argb.resize(wordsPerRow * std::size_t(height_));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t* source = pixels_.get() + std::size_t(y) * std::size_t(width_) * 4;
    std::uint32_t* target = argb.data() + std::size_t(y) * wordsPerRow;
    for (int x = 0; x < width_; ++x) target[x] = premultipliedARGB(source + std::size_t(x) * 4);
  }

  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(argb.data()),
                                          CAIRO_FORMAT_ARGB32, width_, height_, stride),
      &cairo_surface_destroy);
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;

  std::vector<std::uint8_t> png;
  if (cairo_surface_write_to_png_stream(surface.get(), appendToVector, &png) !=
      CAIRO_STATUS_SUCCESS) {
    return std::nullopt;
  }
  return png;
}

std::shared_ptr<Image> Image::named(std::string_view name, const Bundle& bundle) {
  const int screenScale = std::clamp(int(std::ceil(Screen::main().scale())), 1, 4);
  for (int scale = screenScale; scale >= 1; --scale) {
    std::string file(name);
    if (scale > 1) file += "@" + std::to_string(scale) + "x";
    auto data = bundle.dataForResource(file, "png");
    if (!data) continue;
    auto decoded = make(*data);
    if (!decoded) return nullptr;
    decoded->scale_ = scale;
    return decoded;
  }
  return nullptr;
}

}  // namespace platform
