#pragma once

#include <memory>

#include "Platform/Media/VideoFrameSink.h"
#include "Platform/UI/Layer.h"

namespace platform {

class Player;

// A layer that shows a player's pictures: each new picture becomes its contents, drawn into
// its frame by the video gravity (its contents gravity). The layer keeps its player; the player
// keeps the layer only weakly, as one of its video outputs, so dropping the layer is enough to
// stop the pictures reaching it.
//
// Main thread only, like every layer.
class PlayerLayer : public Layer, public VideoFrameSink {
 public:
  [[nodiscard]] static std::shared_ptr<PlayerLayer> make(std::shared_ptr<Player> player);

  [[nodiscard]] const std::shared_ptr<Player>& player() const { return player_; }

  [[nodiscard]] ContentsGravity videoGravity() const { return contentsGravity(); }
  void setVideoGravity(ContentsGravity gravity) { setContentsGravity(gravity); }

  void displayFrame(const std::shared_ptr<const VideoFrame>& frame) override;

 private:
  explicit PlayerLayer(std::shared_ptr<Player> player) : player_(std::move(player)) {}

  std::shared_ptr<Player> player_;
};

}  // namespace platform
