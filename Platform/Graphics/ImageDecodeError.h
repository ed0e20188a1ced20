#pragma once

#include <string_view>

namespace platform {

// Why bytes gave no image.
enum class ImageDecodeError {
  empty,              // no bytes at all
  tooManyBytes,       // more input than the limits allow
  unsupportedFormat,  // not PNG, JPEG or GIF
  tooLarge,           // the header claims more width, height or pixels than the limits allow
  truncated,          // the data ends before the image does
  corrupt,            // the decoder refused the data
};

[[nodiscard]] std::string_view description(ImageDecodeError error) noexcept;

}  // namespace platform
