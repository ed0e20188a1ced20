#include "Platform/Graphics/Image.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <utility>

#include <cairo.h>

#include "Platform/Graphics/CairoPixel.h"
#include "Platform/Graphics/GIFDecoder.h"
#include "Platform/Graphics/JPEGDecoder.h"
#include "Platform/Graphics/PNGDecoder.h"

#include "Platform/Foundation/Bundle.h"
#include "Platform/Graphics/Screen.h"

namespace platform {
namespace {

enum class Format { png, jpeg, gif };

// Only the three formats images on the web come in are read.
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

Image::Image(int width, int height, std::size_t bytesPerRow, PixelFormat format,
             std::shared_ptr<const std::uint8_t> pixels)
    : width_(width),
      height_(height),
      bytesPerRow_(bytesPerRow),
      pixelFormat_(format),
      pixels_(std::move(pixels)) {
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
  std::shared_ptr<Image> image(
      new Image(width, height, std::size_t(width) * 4, PixelFormat::rgba, std::move(pixels)));
  // A scale below 1 would make a point smaller than a pixel's worth of the image's data.
  if (std::isfinite(scale) && scale > 1) image->scale_ = scale;
  return image;
}

std::shared_ptr<Image> Image::wrap(int width, int height, std::size_t bytesPerRow,
                                   PixelFormat format, std::shared_ptr<const std::uint8_t> pixels) {
  if (width <= 0 || height <= 0 || !pixels || bytesPerRow / 4 < std::size_t(width)) return nullptr;
  return std::shared_ptr<Image>(new Image(width, height, bytesPerRow, format, std::move(pixels)));
}

std::shared_ptr<Image> Image::empty() {
  return std::shared_ptr<Image>(new Image(0, 0, 0, PixelFormat::rgba, nullptr));
}

std::shared_ptr<Image> Image::withRenderingMode(RenderingMode mode) const {
  std::shared_ptr<Image> image(new Image(width_, height_, bytesPerRow_, pixelFormat_, pixels_));
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
  if (data.size() > limits.maximumBytes) return std::unexpected(ImageDecodeError::tooManyBytes);
  const auto format = sniff(data);
  if (!format) return std::unexpected(ImageDecodeError::unsupportedFormat);
  try {
    switch (*format) {
      case Format::png:
        return detail::decodePNG(data, limits);
      case Format::jpeg:
        return detail::decodeJPEG(data, limits);
      case Format::gif:
        return detail::decodeGIF(data, limits);
    }
  } catch (const std::bad_alloc&) {
    // Within the limits, but more than the memory left.
  }
  return std::unexpected(ImageDecodeError::tooLarge);
}

bool Image::DecodeLimits::admits(std::uint64_t width, std::uint64_t height) const noexcept {
  const auto side = std::uint64_t(std::max(maximumSide, 0));
  return width <= side && height <= side && width * height <= maximumPixels;
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
    const std::uint8_t* source = pixels_.get() + std::size_t(y) * bytesPerRow_;
    std::uint32_t* target = argb.data() + std::size_t(y) * wordsPerRow;
    for (int x = 0; x < width_; ++x) {
      target[x] = detail::cairoARGB(source + std::size_t(x) * 4, pixelFormat_);
    }
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
