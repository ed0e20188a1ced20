#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Media/KeyValueObserver.h"
#include "Platform/Media/Player.h"
#include "Platform/Media/PlayerItem.h"
#include "Platform/Media/VideoFrame.h"
#include "Platform/Media/VideoFrameSink.h"

namespace mediatests {

// Observes an item's "status" and "player.rate" and takes its player's pictures, recording
// what it heard and on which thread.
class MediaProbe : public platform::KeyValueObserver,
                   public platform::VideoFrameSink,
                   public std::enable_shared_from_this<MediaProbe> {
 public:
  struct Notice {
    std::string keyPath;
    platform::PlayerStatus status;
    float rate;
  };

  static std::shared_ptr<MediaProbe> watch(const std::shared_ptr<platform::Player>& player) {
    auto probe = std::make_shared<MediaProbe>();
    probe->item = player->currentItem();
    probe->item->addObserver(probe, "status");
    probe->item->addObserver(probe, "player.rate");
    player->addVideoOutput(probe);
    return probe;
  }

  void observeValue(const std::optional<std::string>& keyPath, const void* object,
                    const platform::KeyValueChange&, void*) override {
    offMainThread |= !platform::isMainThread();
    auto player = item->player();
    notices.push_back({keyPath.value_or(""), player ? player->status() : item->status(),
                       player ? player->rate() : -1.0f});
    if (object != item.get()) wrongObject = true;
    if (onNotice) onNotice(Notice(notices.back()));  // a copy: the handler may add notices
  }

  void displayFrame(const std::shared_ptr<const platform::VideoFrame>& frame) override {
    offMainThread |= !platform::isMainThread();
    // Only the newest is kept: holding decoded pictures would starve the decoder's pool.
    lastFrame = frame;
    presentationTimes.push_back(frame->presentationTime());
  }

  [[nodiscard]] int count(const std::string& keyPath, float rate) const {
    int n = 0;
    for (const auto& notice : notices) n += notice.keyPath == keyPath && notice.rate == rate;
    return n;
  }

  [[nodiscard]] bool heardStatus(platform::PlayerStatus status) const {
    for (const auto& notice : notices) {
      if (notice.keyPath == "status" && notice.status == status) return true;
    }
    return false;
  }

  std::shared_ptr<platform::PlayerItem> item;
  std::vector<Notice> notices;
  std::shared_ptr<const platform::VideoFrame> lastFrame;
  std::vector<std::chrono::nanoseconds> presentationTimes;
  std::function<void(const Notice&)> onNotice;
  bool offMainThread = false;
  bool wrongObject = false;
};

}  // namespace mediatests
