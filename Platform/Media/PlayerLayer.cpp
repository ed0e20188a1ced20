#include "Platform/Media/PlayerLayer.h"

#include <cstdint>
#include <vector>

#include "Platform/Graphics/Image.h"
#include "Platform/Media/MainThread.h"
#include "Platform/Media/Player.h"
#include "Platform/Media/VideoFrame.h"

namespace platform {
namespace {

// Layer contents are images of straight RGBA pixels: the picture's BGRx is copied across.
// TODO(#15): hand the picture's own pixels over once images can hold BGRx.
std::shared_ptr<const Image> imageOf(const VideoFrame& frame) {
  const auto width = static_cast<std::size_t>(frame.width());
  std::vector<std::uint8_t> rgba(width * static_cast<std::size_t>(frame.height()) * 4);
  const auto pixels = frame.pixels();
  for (std::size_t y = 0; y < static_cast<std::size_t>(frame.height()); ++y) {
    const std::uint8_t* from = pixels.data() + y * frame.bytesPerRow();
    std::uint8_t* to = rgba.data() + y * width * 4;
    for (std::size_t x = 0; x < width; ++x, from += 4, to += 4) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
      to[3] = 255;
    }
  }
  return Image::make(frame.width(), frame.height(), std::move(rgba));
}

}  // namespace

std::shared_ptr<PlayerLayer> PlayerLayer::make(std::shared_ptr<Player> player) {
  detail::requireMainThread("PlayerLayer");
  std::shared_ptr<PlayerLayer> layer(new PlayerLayer(std::move(player)));
  if (const auto& shown = layer->player_) {
    shown->addVideoOutput(std::static_pointer_cast<VideoFrameSink>(layer));
    if (const auto& frame = shown->currentFrame()) layer->displayFrame(frame);
  }
  return layer;
}

void PlayerLayer::displayFrame(const std::shared_ptr<const VideoFrame>& frame) {
  setContents(imageOf(*frame));
}

}  // namespace platform
