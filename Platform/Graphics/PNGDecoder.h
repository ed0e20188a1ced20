#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <span>

#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/ImageDecodeError.h"

namespace platform::detail {

// The image a PNG file holds, as Image::decode describes it: the header's dimensions are
// checked against `limits` before any pixel memory is taken, and a file that ends before
// its IEND chunk is refused as truncated.
[[nodiscard]] std::expected<std::shared_ptr<Image>, ImageDecodeError> decodePNG(
    std::span<const std::uint8_t> data, const Image::DecodeLimits& limits);

}  // namespace platform::detail
