#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "Platform/Graphics/Geometry.h"
#include "Platform/Graphics/ImageDecodeError.h"

namespace platform {

class Bundle;

// A bitmap: width × height pixels, four bytes each, rows top to bottom, bytesPerRow() apart.
// Decoded and drawn images hold straight RGBA (red, green, blue, alpha, not premultiplied)
// without padding; video pictures are wrapped as the decoder hands them over (BGRx).
//
// Images come from bytes of unknown origin (a server's answer, a cache entry), so decoding
// is defensive: only PNG, JPEG and GIF (its first frame) are read, the input size and the
// dimensions the header claims are checked against limits before any pixel memory is
// allocated, and data that ends before the image does is refused rather than shown half
// grey.
//
// An image also has a scale (pixels per point; its size in points is its pixel size divided
// by it) and a rendering mode, which says whether a view draws its colours or only its shape
// in the view's tint.
//
// Immutable once made, so one image may be read from any number of threads.
class Image {
 public:
  enum class RenderingMode {
    automatic,       // as the view showing it sees fit: its colours, in every view here
    alwaysOriginal,  // its own colours
    alwaysTemplate,  // its alpha only, filled with the tint colour of the view showing it
  };

  enum class PixelFormat {
    rgba,  // red, green, blue, alpha; not premultiplied
    bgrx,  // blue, green, red and an unused byte: opaque
  };

  struct DecodeLimits {
    std::size_t maximumBytes = std::size_t{32} * 1024 * 1024;
    int maximumSide = 16384;
    std::uint64_t maximumPixels = std::uint64_t{64} * 1024 * 1024;

    // Whether an image of these sides is within the limits.
    [[nodiscard]] bool admits(std::uint64_t width, std::uint64_t height) const noexcept;
  };

  // The image `data` holds; nullptr for data that is empty, too large, of another format,
  // damaged or truncated.
  [[nodiscard]] static std::shared_ptr<Image> make(std::span<const std::uint8_t> data);

  // As make(data), saying why it failed; with `limits` in place of the defaults.
  [[nodiscard]] static std::expected<std::shared_ptr<Image>, ImageDecodeError> decode(
      std::span<const std::uint8_t> data);
  [[nodiscard]] static std::expected<std::shared_ptr<Image>, ImageDecodeError> decode(
      std::span<const std::uint8_t> data, const DecodeLimits& limits);

  // An image of the given pixels (see the class comment for their layout); nullptr unless
  // both sides are positive and `rgba` holds exactly width × height × 4 bytes.
  // `scale` below 1 or not finite counts as 1.
  [[nodiscard]] static std::shared_ptr<Image> make(int width, int height,
                                                   std::vector<std::uint8_t> rgba,
                                                   double scale = 1);

  // An image over pixels someone else made, without a copy: `pixels` (usually aliasing its
  // owner) keeps them valid as long as the image lives. Null unless both sides are positive
  // and each row of `bytesPerRow` holds the width's pixels.
  [[nodiscard]] static std::shared_ptr<Image> wrap(int width, int height, std::size_t bytesPerRow,
                                                   PixelFormat format,
                                                   std::shared_ptr<const std::uint8_t> pixels);

  // An image of no pixels and size zero, for what must answer an image but has none to draw.
  [[nodiscard]] static std::shared_ptr<Image> empty();

  // The PNG resource `name` of `bundle`: "<name>@<n>x.png" for the main screen's scale n and
  // each smaller whole scale down to 2, then "<name>.png"; the image takes the scale of the
  // file found. Null when there is none, or it does not decode.
  [[nodiscard]] static std::shared_ptr<Image> named(std::string_view name, const Bundle& bundle);

  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  [[nodiscard]] int width() const noexcept { return width_; }
  [[nodiscard]] int height() const noexcept { return height_; }
  [[nodiscard]] PixelFormat pixelFormat() const noexcept { return pixelFormat_; }
  [[nodiscard]] std::size_t bytesPerRow() const noexcept { return bytesPerRow_; }
  [[nodiscard]] std::span<const std::uint8_t> pixels() const noexcept {
    return {pixels_.get(), bytesPerRow_ * std::size_t(height_)};
  }

  [[nodiscard]] double scale() const noexcept { return scale_; }
  // Width and height in points.
  [[nodiscard]] Size size() const noexcept { return {width_ / scale_, height_ / scale_}; }
  [[nodiscard]] RenderingMode renderingMode() const noexcept { return renderingMode_; }

  // This image (the same pixels, not a copy) drawn in `mode`.
  [[nodiscard]] std::shared_ptr<Image> withRenderingMode(RenderingMode mode) const;

  // The image as a PNG file; std::nullopt when it cannot be encoded (a side beyond what the
  // encoder handles, or memory running out).
  //
  // The encoder works on premultiplied pixels, as the phone platform's does, so a colour
  // under partial transparency may come back a step off, and fully transparent pixels come
  // back as transparent black; alpha, and opaque pixels, come back exactly.
  [[nodiscard]] std::optional<std::vector<std::uint8_t>> pngData() const;

 private:
  Image(int width, int height, std::size_t bytesPerRow, PixelFormat format,
        std::shared_ptr<const std::uint8_t> pixels);

  int width_;
  int height_;
  std::size_t bytesPerRow_;
  PixelFormat pixelFormat_;
  double scale_ = 1;
  RenderingMode renderingMode_ = RenderingMode::automatic;
  // Owned by whoever made them: a vector handed in, the decoder's own buffer or a video
  // picture, kept as it is so that a large image is never held twice.
  std::shared_ptr<const std::uint8_t> pixels_;
};

}  // namespace platform
