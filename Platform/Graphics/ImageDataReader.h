#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform::detail {

// Hands image data to a decoder that pulls it piece by piece, and remembers whether the
// decoder asked for more than there is: that tells an image that ends early from a damaged
// one.
class ImageDataReader {
 public:
  explicit ImageDataReader(std::span<const std::uint8_t> data) : data_(data) {}

  // Copies up to `length` bytes to `out`; answers how many there were.
  std::size_t read(std::uint8_t* out, std::size_t length);

  [[nodiscard]] bool ranOut() const noexcept { return ranOut_; }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t position_ = 0;
  bool ranOut_ = false;
};

}  // namespace platform::detail
