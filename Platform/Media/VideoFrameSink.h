#pragma once

#include <memory>

namespace platform {

class VideoFrame;

// Something that shows a player's pictures (a player layer, a test, a benchmark). A player
// holds its sinks weakly and calls them on the main thread.
class VideoFrameSink {
 public:
  virtual ~VideoFrameSink() = default;

  // The newest picture. When several were decoded between two turns of the main loop, only
  // the newest is handed over: a sink never falls behind the video.
  virtual void displayFrame(const std::shared_ptr<const VideoFrame>& frame) = 0;
};

}  // namespace platform
