#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

typedef struct _GstElement GstElement;
typedef struct _GstSample GstSample;

namespace platform {
class VideoFrame;
}

namespace platform::detail {

// Carries decoded pictures from an appsink's streaming thread to the main thread, keeping only
// the newest: a picture that arrives before the main thread took the previous one replaces
// it, so nothing queues up when the main thread is busy. At most one hand-over is posted to
// the main queue at a time.
class FrameMailbox : public std::enable_shared_from_this<FrameMailbox> {
 public:
  using Deliver = std::function<void(std::shared_ptr<const VideoFrame>)>;

  // `deliver` runs on the main thread with each picture taken.
  static std::shared_ptr<FrameMailbox> make(Deliver deliver);

  ~FrameMailbox();
  FrameMailbox(const FrameMailbox&) = delete;
  FrameMailbox& operator=(const FrameMailbox&) = delete;

  // Sends `appsink`'s pictures (BGRx) here from now on.
  void attach(GstElement* appsink);

  // The pipeline's running time at which the newest picture stops being current; negative
  // before the first one.
  [[nodiscard]] std::chrono::nanoseconds newestFrameEnd() const { return newestEnd_.load(); }

  // Called by the appsink's callbacks on its streaming thread; takes the reference.
  void put(GstSample* sample);

 private:
  explicit FrameMailbox(Deliver deliver) : deliver_(std::move(deliver)) {}

  void drain();  // main thread

  const Deliver deliver_;
  std::atomic<std::chrono::nanoseconds> newestEnd_{std::chrono::nanoseconds(-1)};
  std::mutex mutex_;
  GstSample* newest_ = nullptr;
  bool drainPosted_ = false;
};

}  // namespace platform::detail
