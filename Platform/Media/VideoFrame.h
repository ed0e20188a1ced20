#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace platform {

// One decoded picture of a video, as the player hands it to its outputs.
//
// Pixels are 4 bytes each, in memory order blue, green, red and one unused byte (the picture
// is opaque): Cairo's RGB24 layout on a little-endian machine, so a drawing layer wraps them
// without a copy. Rows are bytesPerRow() apart, top row first.
//
// Immutable; the pixels live as long as the frame (it keeps the decoder's buffer), so a frame
// may be read from any thread.
class VideoFrame {
 public:
  // `owner` keeps `pixels` valid; it is released when the last copy of the frame goes.
  VideoFrame(int width, int height, std::size_t bytesPerRow, const std::uint8_t* pixels,
             std::chrono::nanoseconds presentationTime, std::shared_ptr<const void> owner)
      : width_(width),
        height_(height),
        bytesPerRow_(bytesPerRow),
        pixels_(pixels),
        presentationTime_(presentationTime),
        owner_(std::move(owner)) {}

  [[nodiscard]] int width() const noexcept { return width_; }
  [[nodiscard]] int height() const noexcept { return height_; }
  [[nodiscard]] std::size_t bytesPerRow() const noexcept { return bytesPerRow_; }
  [[nodiscard]] std::span<const std::uint8_t> pixels() const noexcept {
    return {pixels_, bytesPerRow_ * static_cast<std::size_t>(height_)};
  }
  // Where the picture sits on the media's timeline.
  [[nodiscard]] std::chrono::nanoseconds presentationTime() const noexcept {
    return presentationTime_;
  }

 private:
  int width_;
  int height_;
  std::size_t bytesPerRow_;
  const std::uint8_t* pixels_;
  std::chrono::nanoseconds presentationTime_;
  std::shared_ptr<const void> owner_;
};

}  // namespace platform
