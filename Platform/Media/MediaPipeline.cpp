#include "Platform/Media/MediaPipeline.h"

#include <gst/gst.h>
#include <gst/pbutils/missing-plugins.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/ASCII.h"
#include "Platform/Foundation/Console.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Media/AudioSession.h"
#include "Platform/Media/FrameMailbox.h"
#include "Platform/Media/GStreamer.h"
#include "Platform/Media/HTTPMediaSource.h"

namespace platform::detail {
namespace {

using Weak = std::weak_ptr<MediaPipeline>;

// playbin's GstPlayFlags (not in a public header): video and audio only. No subtitles,
// deinterlacing or colour balance, which would cost time on every picture, and no volume in
// software: nothing sets a volume, and playbin 1.22 keeps a reference to that volume element
// after the pipeline is freed, an element and its two pads lost with every player.
constexpr guint kPlayFlags = 0x1 | 0x2;

struct MessageUnref {
  void operator()(GstMessage* message) const { gst_message_unref(message); }
};
using MessagePtr = std::unique_ptr<GstMessage, MessageUnref>;

GstElement* makeVideoSink() {
  GstElement* sink = gst_element_factory_make("appsink", nullptr);
  if (!sink) return nullptr;
  GstCaps* caps = gst_caps_from_string("video/x-raw,format=BGRx");
  g_object_set(sink, "caps", caps, "sync", TRUE, "enable-last-sample", FALSE, "max-buffers", 1u,
               nullptr);
  gst_caps_unref(caps);
  return sink;
}

GstElement* makeAudioSink() {
  if (AudioSession::isOutputAvailable()) return gst_element_factory_make("autoaudiosink", nullptr);
  GstElement* sink = gst_element_factory_make("fakesink", nullptr);
  if (sink) g_object_set(sink, "sync", TRUE, nullptr);
  return sink;
}

// A missing decoder for a video stream fails the item; one for sound only loses the sound.
bool isMissingVideoPlugin(GstMessage* message) {
  if (!gst_is_missing_plugin_message(message)) return false;
  const GstStructure* details = gst_message_get_structure(message);
  const GValue* detail = gst_structure_get_value(details, "detail");
  if (!detail || !GST_VALUE_HOLDS_CAPS(detail)) return false;
  const GstCaps* caps = gst_value_get_caps(detail);
  return gst_caps_get_size(caps) > 0 &&
         g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps, 0)), "video/");
}

MediaError errorOf(GstMessage* message) {
  GError* error = nullptr;
  gst_message_parse_error(message, &error, nullptr);
  MediaError result{error ? error->message : "The media could not be played."};
  g_clear_error(&error);
  return result;
}

// The console line for a warning; none for playsink's "No volume control found", which a
// pipeline whose audio sink has no volume of its own gives every time: the volume element is
// left out on purpose (kPlayFlags).
std::optional<std::string> warningLine(GstMessage* message) {
  GError* warning = nullptr;
  gst_message_parse_warning(message, &warning, nullptr);
  std::optional<std::string> line;
  const bool noVolume =
      g_error_matches(warning, GST_STREAM_ERROR, GST_STREAM_ERROR_NOT_IMPLEMENTED) &&
      g_str_equal(G_OBJECT_TYPE_NAME(GST_MESSAGE_SRC(message)), "GstPlaySink");
  if (!noVolume) {
    line = std::string("Media warning from ") + GST_MESSAGE_SRC_NAME(message) + ": " +
           (warning ? warning->message : "(no description)");
  }
  g_clear_error(&warning);
  return line;
}

}  // namespace

struct MediaPipelineCallbacks {
  static void sourceSetup(GstElement*, GstElement* source, MediaPipeline* self) {
    std::lock_guard lock(self->sourceMutex_);
    if (self->remoteURL_.empty()) return;
    self->source_ = HTTPMediaSource::attach(source, self->remoteURL_);
  }

  // Streaming threads: nobody pops the bus, so every message is dropped from it. A handler
  // that drops a message owns it: each holds its source element, so one not released keeps
  // the whole pipeline (its buffers, its bus's descriptors) alive after the player is gone.
  static GstBusSyncReply busMessage(GstBus*, GstMessage* message, void* data) {
    MessagePtr owned(message);
    switch (GST_MESSAGE_TYPE(message)) {
      case GST_MESSAGE_ERROR:
      case GST_MESSAGE_WARNING:
      case GST_MESSAGE_EOS:
      case GST_MESSAGE_ASYNC_DONE:
      case GST_MESSAGE_ELEMENT:
      case GST_MESSAGE_BUFFERING:
      case GST_MESSAGE_CLOCK_LOST:
        DispatchQueue::main()->async([weak = *static_cast<Weak*>(data), held = std::move(owned)] {
          if (auto self = weak.lock()) self->handle(held.get());
        });
        break;
      default:
        break;
    }
    return GST_BUS_DROP;
  }
};

std::expected<std::shared_ptr<MediaPipeline>, MediaError> MediaPipeline::make(
    const URL& url, std::chrono::duration<double> forwardBuffer, Events events) {
  if (const auto& initialized = initializeGStreamer(); !initialized) {
    return std::unexpected(MediaError{initialized.error()});
  }
  const std::string scheme = asciiLowercased(url.scheme());
  if (scheme != "file" && scheme != "http" && scheme != "https") {
    return std::unexpected(MediaError{"Cannot play \"" + url.absoluteString() +
                                      "\": only file, http and https URLs are supported."});
  }
  GstElement* playbin = gst_element_factory_make("playbin", nullptr);
  GstElement* videoSink = makeVideoSink();
  if (!playbin || !videoSink) {
    if (playbin) gst_object_unref(playbin);
    if (videoSink) gst_object_unref(videoSink);
    return std::unexpected(MediaError{"GStreamer's playbin or appsink is not installed."});
  }
  std::shared_ptr<MediaPipeline> pipeline(new MediaPipeline(playbin, std::move(events)));
  if (scheme != "file") pipeline->remoteURL_ = url.absoluteString();
  pipeline->start(videoSink, scheme == "file" ? url.absoluteString() : "appsrc://", forwardBuffer);
  return pipeline;
}

MediaPipeline::MediaPipeline(GstElement* playbin, Events events)
    : playbin_(GST_ELEMENT(gst_object_ref_sink(playbin))), events_(std::move(events)) {
}

void MediaPipeline::start(GstElement* videoSink, const std::string& uri,
                          std::chrono::duration<double> forwardBuffer) {
  mailbox_ = FrameMailbox::make([weak = weak_from_this()](auto frame) {
    if (auto self = weak.lock(); self && !self->failed_) self->events_.frame(std::move(frame));
  });
  mailbox_->attach(videoSink);
  g_object_set(playbin_, "flags", kPlayFlags, "video-sink", videoSink, "uri", uri.c_str(), nullptr);
  if (GstElement* audioSink = makeAudioSink())
    g_object_set(playbin_, "audio-sink", audioSink, nullptr);
  if (forwardBuffer.count() > 0) {
    g_object_set(playbin_, "buffer-duration",
                 static_cast<gint64>(forwardBuffer.count() * GST_SECOND), nullptr);
  }
  g_signal_connect(playbin_, "source-setup", G_CALLBACK(&MediaPipelineCallbacks::sourceSetup),
                   this);
  GstBus* bus = gst_element_get_bus(playbin_);
  gst_bus_set_sync_handler(bus, &MediaPipelineCallbacks::busMessage, new Weak(weak_from_this()),
                           [](void* data) { delete static_cast<Weak*>(data); });
  gst_object_unref(bus);
  changeState(GST_STATE_PAUSED);
}

MediaPipeline::~MediaPipeline() {
  {
    std::lock_guard lock(sourceMutex_);
    if (source_) source_->close();
  }
  gst_element_set_state(playbin_, GST_STATE_NULL);
  g_signal_handlers_disconnect_by_data(playbin_, this);
  GstBus* bus = gst_element_get_bus(playbin_);
  gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
  gst_object_unref(bus);
  gst_object_unref(playbin_);
}

void MediaPipeline::play() {
  wantsToPlay_ = true;
  if (!buffering_) changeState(GST_STATE_PLAYING);
}

void MediaPipeline::pause() {
  wantsToPlay_ = false;
  changeState(GST_STATE_PAUSED);
}

void MediaPipeline::seekToStart() {
  gst_element_seek_simple(playbin_, GST_FORMAT_TIME,
                          GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT), 0);
}

std::chrono::nanoseconds MediaPipeline::frozenFor() const {
  const auto end = mailbox_->newestFrameEnd();
  GstClock* clock = gst_element_get_clock(playbin_);
  if (end.count() < 0 || !clock) {
    if (clock) gst_object_unref(clock);
    return {};
  }
  const GstClockTime now = gst_clock_get_time(clock);
  gst_object_unref(clock);
  const GstClockTime base = gst_element_get_base_time(playbin_);
  const auto running = std::chrono::nanoseconds(now > base ? now - base : 0);
  return std::max(running - end, std::chrono::nanoseconds(0));
}

void MediaPipeline::changeState(int state) {
  if (failed_) return;
  if (gst_element_set_state(playbin_, GstState(state)) != GST_STATE_CHANGE_FAILURE) return;
  // The error message that explains it is normally on its way; this covers a failure that
  // posts none, after whatever is already queued.
  DispatchQueue::main()->async([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->fail({"The media could not be opened."});
  });
}

void MediaPipeline::handle(GstMessage* message) {
  if (failed_) return;
  switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ASYNC_DONE:
      if (GST_MESSAGE_SRC(message) == GST_OBJECT(playbin_) &&
          !std::exchange(readyAnnounced_, true)) {
        events_.ready();
      }
      break;
    case GST_MESSAGE_ERROR:
      fail(errorOf(message));
      break;
    case GST_MESSAGE_WARNING:
      if (auto line = warningLine(message)) Console::print(*line);
      break;
    case GST_MESSAGE_EOS:
      events_.ended();
      break;
    case GST_MESSAGE_BUFFERING: {
      gint percent = 100;
      gst_message_parse_buffering(message, &percent);
      onBuffering(percent);
      break;
    }
    case GST_MESSAGE_CLOCK_LOST:
      // The clock went with the element that gave it (an audio sink that closed its device),
      // and playback would stand still for good: a pipeline picks a new clock only on its way
      // from PAUSED to PLAYING.
      if (wantsToPlay_ && !buffering_) {
        changeState(GST_STATE_PAUSED);
        changeState(GST_STATE_PLAYING);
      }
      break;
    case GST_MESSAGE_ELEMENT:
      if (isMissingVideoPlugin(message)) {
        gchar* description = gst_missing_plugin_message_get_description(message);
        fail({std::string("No decoder is installed for the video (") + description + ")."});
        g_free(description);
      }
      break;
    default:
      break;
  }
}

// Playback waits while the buffer fills, and goes on once it is full if it was playing.
void MediaPipeline::onBuffering(int percent) {
  buffering_ = percent < 100;
  if (buffering_) {
    changeState(GST_STATE_PAUSED);
  } else if (wantsToPlay_) {
    changeState(GST_STATE_PLAYING);
  }
}

void MediaPipeline::fail(MediaError error) {
  if (std::exchange(failed_, true)) return;
  events_.failed(std::move(error));
}

}  // namespace platform::detail
