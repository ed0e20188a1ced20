#include "Platform/Media/PlayerLayer.h"

#include <cstdint>

#include "Platform/Dispatch/MainThread.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Media/Player.h"
#include "Platform/Media/VideoFrame.h"

namespace platform {

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
  // The picture's own pixels, kept alive by the frame: no copy per picture.
  setContents(Image::wrap(frame->width(), frame->height(), frame->bytesPerRow(),
                          Image::PixelFormat::bgrx,
                          std::shared_ptr<const std::uint8_t>(frame, frame->pixels().data())));
}

}  // namespace platform
