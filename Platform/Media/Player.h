#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "Platform/Media/MediaError.h"
#include "Platform/Media/PlayerStatus.h"

namespace platform {

class PlayerItem;
class VideoFrame;
class VideoFrameSink;

namespace detail {
class MediaPipeline;
}

// Plays one item at a time over GStreamer: opens it as soon as it becomes the current item,
// reports through the item's observations when it is ready or failed and when its rate
// changes, and hands each new picture to its video outputs.
//
// The rate is 1.0 while the player is asked to play and the media moves, 0 otherwise: when
// paused, at the end of the media, after a failure, and during a stall (the picture stayed
// frozen past kStallTimeout because media stopped arriving; it goes back to 1.0 by itself when
// pictures come again). Each change is announced under "player.rate" on the current item.
//
// Main thread only. Everything GStreamer reports arrives through the main queue. Dropping the
// last reference stops the pipeline there and then; nothing of it reaches the player, its item
// or its outputs afterwards.
class Player : public std::enable_shared_from_this<Player> {
 public:
  static constexpr std::chrono::milliseconds kStallTimeout{1500};

  // A player without an item.
  [[nodiscard]] static std::shared_ptr<Player> make();

  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // Makes `item` (which must not be another player's) the current item and starts opening it;
  // the previous item's pipeline stops. Null leaves the player without an item.
  void replaceCurrentItem(std::shared_ptr<PlayerItem> item);
  [[nodiscard]] const std::shared_ptr<PlayerItem>& currentItem() const { return item_; }

  // Asks to play (also before the item is ready: it then starts as soon as it can). At the end
  // of the media, play() starts again from the beginning.
  void play();
  void pause();

  // The current item's status; unknown without one.
  [[nodiscard]] PlayerStatus status() const;
  [[nodiscard]] float rate() const { return rate_; }

  // Outputs are held weakly and receive each new picture, the newest when several were
  // decoded between two turns of the main loop.
  void addVideoOutput(std::weak_ptr<VideoFrameSink> output);
  void removeVideoOutput(const VideoFrameSink* output);
  // The newest picture, if any.
  [[nodiscard]] const std::shared_ptr<const VideoFrame>& currentFrame() const { return frame_; }

 private:
  Player() = default;

  void open();
  void onReady();
  void onFailed(MediaError error);
  void onEnded();
  void onFrame(std::shared_ptr<const VideoFrame> frame);
  void updateRate();
  void watchForStalls();
  void checkForStall();

  std::shared_ptr<PlayerItem> item_;
  std::shared_ptr<detail::MediaPipeline> pipeline_;
  std::vector<std::weak_ptr<VideoFrameSink>> outputs_;
  std::shared_ptr<const VideoFrame> frame_;
  float rate_ = 0;
  bool wantsToPlay_ = false;
  bool ended_ = false;
  bool stalled_ = false;
  bool stallCheckPending_ = false;
};

}  // namespace platform
