#include "Platform/Media/FrameMailbox.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <utility>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Media/VideoFrame.h"

namespace platform::detail {
namespace {

using Weak = std::weak_ptr<FrameMailbox>;

// A mapped picture, unmapped and released with the last VideoFrame that shows it.
struct MappedFrame {
  GstVideoFrame frame{};
  ~MappedFrame() { gst_video_frame_unmap(&frame); }
};

std::shared_ptr<const VideoFrame> makeFrame(GstSample* sample) {
  GstVideoInfo info;
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  GstCaps* caps = gst_sample_get_caps(sample);
  if (!buffer || !caps || !gst_video_info_from_caps(&info, caps)) return nullptr;
  auto mapped = std::make_shared<MappedFrame>();
  if (!gst_video_frame_map(&mapped->frame, &info, buffer, GST_MAP_READ)) return nullptr;
  const auto* pixels =
      static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped->frame, 0));
  const auto stride = static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&mapped->frame, 0));
  const GstClockTime pts = GST_BUFFER_PTS(buffer);
  return std::make_shared<const VideoFrame>(
      GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info), stride, pixels,
      std::chrono::nanoseconds(GST_CLOCK_TIME_IS_VALID(pts) ? pts : 0), std::move(mapped));
}

// The running time at which `sample`'s picture is replaced by the next one.
std::chrono::nanoseconds endRunningTime(GstSample* sample) {
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  const GstSegment* segment = gst_sample_get_segment(sample);
  if (!buffer || !segment || !GST_BUFFER_PTS_IS_VALID(buffer)) return std::chrono::nanoseconds(-1);
  GstClockTime end = GST_BUFFER_PTS(buffer);
  if (GST_BUFFER_DURATION_IS_VALID(buffer)) end += GST_BUFFER_DURATION(buffer);
  const guint64 running = gst_segment_to_running_time(segment, GST_FORMAT_TIME, end);
  return std::chrono::nanoseconds(GST_CLOCK_TIME_IS_VALID(running) ? running : -1);
}

GstFlowReturn onPreroll(GstAppSink* sink, void* data) {
  if (auto self = static_cast<Weak*>(data)->lock()) {
    self->put(gst_app_sink_pull_preroll(sink));
  }
  return GST_FLOW_OK;
}

GstFlowReturn onSample(GstAppSink* sink, void* data) {
  if (auto self = static_cast<Weak*>(data)->lock()) {
    self->put(gst_app_sink_pull_sample(sink));
  }
  return GST_FLOW_OK;
}

}  // namespace

std::shared_ptr<FrameMailbox> FrameMailbox::make(Deliver deliver) {
  return std::shared_ptr<FrameMailbox>(new FrameMailbox(std::move(deliver)));
}

FrameMailbox::~FrameMailbox() {
  if (newest_) gst_sample_unref(newest_);
}

void FrameMailbox::attach(GstElement* appsink) {
  GstAppSinkCallbacks callbacks{};
  callbacks.new_preroll = &onPreroll;
  callbacks.new_sample = &onSample;
  gst_app_sink_set_callbacks(GST_APP_SINK(appsink), &callbacks, new Weak(weak_from_this()),
                             [](void* data) { delete static_cast<Weak*>(data); });
}

void FrameMailbox::put(GstSample* sample) {
  if (!sample) return;
  newestEnd_ = endRunningTime(sample);
  GstSample* replaced = nullptr;
  bool post = false;
  {
    std::lock_guard lock(mutex_);
    replaced = std::exchange(newest_, sample);
    post = !std::exchange(drainPosted_, true);
  }
  if (replaced) gst_sample_unref(replaced);
  if (post) DispatchQueue::main()->async([self = shared_from_this()] { self->drain(); });
}

void FrameMailbox::drain() {
  GstSample* sample = nullptr;
  {
    std::lock_guard lock(mutex_);
    sample = std::exchange(newest_, nullptr);
    drainPosted_ = false;
  }
  if (!sample) return;
  auto frame = makeFrame(sample);
  gst_sample_unref(sample);
  if (frame) deliver_(std::move(frame));
}

}  // namespace platform::detail
