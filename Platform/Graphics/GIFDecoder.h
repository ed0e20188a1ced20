#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <span>

#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/ImageDecodeError.h"

namespace platform::detail {

// The first frame of a GIF, drawn on its logical screen (transparent where the frame does
// not cover it), as Image::decode describes it: the screen's and the frame's dimensions are
// checked against `limits` before any pixel memory is taken, and data that ends before the
// frame's last data block is refused as truncated. What follows the first frame is not read.
[[nodiscard]] std::expected<std::shared_ptr<Image>, ImageDecodeError> decodeGIF(
    std::span<const std::uint8_t> data, const Image::DecodeLimits& limits);

}  // namespace platform::detail
