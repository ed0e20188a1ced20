#pragma once

#include <chrono>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "Platform/Media/MediaError.h"

typedef struct _GstElement GstElement;
typedef struct _GstMessage GstMessage;

namespace platform {
class URL;
class VideoFrame;
}  // namespace platform

namespace platform::detail {

class FrameMailbox;
class HTTPMediaSource;

// One GStreamer playbin for one URL: file URLs are read by GStreamer itself, http and https
// URLs by HTTPMediaSource through the framework's HTTP session. Pictures come out of an appsink
// as BGRx; sound goes to the audio output, or to a discarding sink that keeps time when the
// machine has none.
//
// Threads: made, driven and destroyed on the main thread. GStreamer's streaming threads only
// post: bus messages (through a sync handler) and pictures (through a FrameMailbox) reach the
// main queue, where the events run. Destruction stops the pipeline (which joins its streaming
// threads; never done from one of them, where it would deadlock); news already posted then finds
// the pipeline gone and is dropped, so no event runs after destruction.
class MediaPipeline : public std::enable_shared_from_this<MediaPipeline> {
 public:
  // Each runs on the main thread; ready and failed at most once, failed ending all others.
  struct Events {
    std::function<void()> ready;  // the first picture is decoded: playback can start at once
    std::function<void(MediaError)> failed;
    std::function<void()> ended;
    std::function<void(std::shared_ptr<const VideoFrame>)> frame;
  };

  // Starts opening `url` (prerolling, paused). `forwardBuffer` is how much media to hold ahead
  // of playback where buffering applies (zero: GStreamer's default).
  [[nodiscard]] static std::expected<std::shared_ptr<MediaPipeline>, MediaError> make(
      const URL& url, std::chrono::duration<double> forwardBuffer, Events events);

  ~MediaPipeline();
  MediaPipeline(const MediaPipeline&) = delete;
  MediaPipeline& operator=(const MediaPipeline&) = delete;

  // While a buffer fills (GStreamer's buffering messages) the pipeline waits, paused; it plays
  // once the buffer is full if play() came last. A warning is written to the console. A lost
  // clock is replaced by passing through PAUSED.
  void play();
  void pause();
  void seekToStart();

  // While playing, how long the newest picture has stayed on past its own end: a picture
  // frozen this way means the media stopped arriving. Zero before the first picture.
  [[nodiscard]] std::chrono::nanoseconds frozenFor() const;

 private:
  MediaPipeline(GstElement* playbin, Events events);

  void start(GstElement* videoSink, const std::string& uri,
             std::chrono::duration<double> forwardBuffer);
  void changeState(int state);
  void handle(GstMessage* message);
  void onBuffering(int percent);
  void fail(MediaError error);

  // GStreamer's callbacks (MediaPipeline.cpp).
  friend struct MediaPipelineCallbacks;

  GstElement* playbin_;
  Events events_;
  std::shared_ptr<FrameMailbox> mailbox_;
  std::string remoteURL_;  // empty for a file
  std::mutex sourceMutex_;
  std::shared_ptr<HTTPMediaSource> source_;
  bool readyAnnounced_ = false;
  bool failed_ = false;
  bool wantsToPlay_ = false;  // play() came last, not pause()
  bool buffering_ = false;    // a buffer said it is not full yet
};

}  // namespace platform::detail
