#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <span>

#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/ImageDecodeError.h"

namespace platform::detail {

// The image a JPEG stream holds, baseline or progressive, as Image::decode describes it: the
// frame's dimensions are checked against `limits` before any pixel memory is taken, and a
// stream that ends before its end-of-image marker is refused as truncated.
[[nodiscard]] std::expected<std::shared_ptr<Image>, ImageDecodeError> decodeJPEG(
    std::span<const std::uint8_t> data, const Image::DecodeLimits& limits);

}  // namespace platform::detail
