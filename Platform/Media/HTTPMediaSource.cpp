#include "Platform/Media/HTTPMediaSource.h"

#include <gst/app/gstappsrc.h>

#include <charconv>
#include <utility>
#include <vector>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Network/HTTPHeaders.h"
#include "Platform/Network/HTTPSession.h"

namespace platform::detail {
namespace {

using Weak = std::weak_ptr<HTTPMediaSource>;

std::optional<std::uint64_t> parseNumber(std::string_view text) {
  std::uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return value;
}

struct ContentRange {
  std::optional<std::uint64_t> first;  // none for "bytes */total"
  std::uint64_t total = 0;
};

// "bytes 0-99/1234" or "bytes */1234"; an unknown total ("/*") is refused, since the reader
// needs the size to know where the media ends.
std::optional<ContentRange> parseContentRange(std::string_view value) {
  if (!value.starts_with("bytes ")) return std::nullopt;
  value.remove_prefix(6);
  auto slash = value.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  auto total = parseNumber(value.substr(slash + 1));
  if (!total) return std::nullopt;
  auto range = value.substr(0, slash);
  if (range == "*") return ContentRange{std::nullopt, *total};
  auto first = parseNumber(range.substr(0, range.find('-')));
  if (!first) return std::nullopt;
  return ContentRange{first, *total};
}

}  // namespace

// Bytes that continue the stream at the read's offset, and the size of the whole media.
struct HTTPMediaSource::Chunk {
  std::vector<std::uint8_t> bytes;
  std::size_t skip = 0;  // leading bytes of `bytes` that lie before the read's offset
  std::uint64_t total = 0;
};

std::shared_ptr<HTTPMediaSource> HTTPMediaSource::attach(GstElement* appsrc, std::string url) {
  std::shared_ptr<HTTPMediaSource> source(new HTTPMediaSource(appsrc, std::move(url)));
  g_object_set(appsrc, "stream-type", GST_APP_STREAM_TYPE_SEEKABLE, "format", GST_FORMAT_BYTES,
               "max-bytes", guint64{2 * kReadSize}, "block", FALSE, nullptr);
  GstAppSrcCallbacks callbacks{};
  callbacks.need_data = &HTTPMediaSource::needData;
  callbacks.enough_data = &HTTPMediaSource::enoughData;
  callbacks.seek_data = &HTTPMediaSource::seekData;
  gst_app_src_set_callbacks(source->appsrc_, &callbacks, new Weak(source),
                            [](void* data) { delete static_cast<Weak*>(data); });
  return source;
}

HTTPMediaSource::HTTPMediaSource(GstElement* appsrc, std::string url)
    : appsrc_(GST_APP_SRC(gst_object_ref(appsrc))), url_(std::move(url)) {
}

HTTPMediaSource::~HTTPMediaSource() {
  gst_object_unref(appsrc_);
}

void HTTPMediaSource::close() {
  SentRequest read;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    read = std::exchange(inFlight_, {});
  }
  // Its connection closes now rather than once the whole range has arrived.
  read.cancel();
}

void HTTPMediaSource::needData(GstAppSrc*, unsigned, void* data) {
  if (auto self = static_cast<Weak*>(data)->lock()) self->onNeedData();
}

void HTTPMediaSource::enoughData(GstAppSrc*, void* data) {
  if (auto self = static_cast<Weak*>(data)->lock()) self->onEnoughData();
}

int HTTPMediaSource::seekData(GstAppSrc*, std::uint64_t offset, void* data) {
  auto self = static_cast<Weak*>(data)->lock();
  return self && self->onSeek(offset);
}

void HTTPMediaSource::onNeedData() {
  wanted_ = true;
  std::optional<Read> read;
  {
    std::lock_guard lock(mutex_);
    read = planRead();
  }
  if (read) send(*read);
}

void HTTPMediaSource::onEnoughData() {
  wanted_ = false;
}

bool HTTPMediaSource::onSeek(std::uint64_t offset) {
  // Taking mutex_ waits for a push under way; appsrc flushes its queue once this returns,
  // so no byte read for the old offset can follow the seek.
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  offset_ = offset;
  ++generation_;
  reading_ = false;
  finished_ = false;
  return true;
}

std::optional<HTTPMediaSource::Read> HTTPMediaSource::planRead() {
  if (closed_ || reading_ || finished_ || !wanted_) return std::nullopt;
  std::uint64_t to = offset_ + kReadSize - 1;
  if (size_ && to >= *size_) to = *size_ - 1;
  reading_ = true;
  return Read{generation_, offset_, to};
}

void HTTPMediaSource::send(const Read& read) {
  URLRequest request;
  request.url = url_;
  setHeader(request.headers, "Range",
            "bytes=" + std::to_string(read.from) + "-" + std::to_string(read.to));
  // Ranges count the bytes of the file itself, never those of a compressed transfer.
  setHeader(request.headers, "Accept-Encoding", "identity");
  auto sent = HTTPSession::defaultSession()
                  ->request(std::move(request))
                  .response(DispatchQueue::global(),
                            [weak = weak_from_this(), read](DataResponse reply) mutable {
                              if (auto self = weak.lock()) self->onRead(read, std::move(reply));
                            });
  bool closed = false;
  {
    std::lock_guard lock(mutex_);
    closed = closed_;
    // Unless the read has ended already: its completion may run before this, and send the
    // next read.
    const bool current = reading_ && read.generation == generation_ && read.from == offset_;
    if (!closed && current) inFlight_ = sent;
  }
  // Closed while the read was being sent: close() could not see it.
  if (closed) sent.cancel();
}

void HTTPMediaSource::onRead(const Read& read, DataResponse reply) {
  std::optional<Read> next;
  std::optional<std::string> failure;
  {
    std::lock_guard lock(mutex_);
    if (closed_ || read.generation != generation_) return;
    reading_ = false;
    failure = consume(read, std::move(reply));
    if (failure) finished_ = true;
    if (!finished_) next = planRead();
  }
  // Outside the lock: the bus hands the message to its handlers on this thread.
  if (failure) GST_ELEMENT_ERROR(appsrc_, RESOURCE, READ, ("%s", failure->c_str()), (nullptr));
  if (next) send(*next);
}

std::optional<std::string> HTTPMediaSource::consume(const Read& read, DataResponse reply) {
  if (reply.error || !reply.response) {
    return reply.error ? std::string(kindName(reply.error->kind)) + ": " + reply.error->description
                       : "no response to a read of " + url_;
  }
  const int status = reply.response->statusCode;
  std::optional<ContentRange> range;
  if (auto header = headerValue(reply.response->headers, "Content-Range")) {
    range = parseContentRange(*header);
  }
  if (status == 206 && range && range->first == read.from && !reply.data.empty()) {
    deliver(read, Chunk{std::move(reply.data), 0, range->total});
  } else if (status == 200 && read.from < reply.data.size()) {
    // A server that ignores ranges sends the whole file every time.
    auto total = reply.data.size();
    deliver(read, Chunk{std::move(reply.data), static_cast<std::size_t>(read.from), total});
  } else if ((status == 416 || status == 200) && size_ && read.from >= *size_) {
    finished_ = true;
    gst_app_src_end_of_stream(appsrc_);
  } else {
    return "The server answered " + std::to_string(status) + " to a read of bytes " +
           std::to_string(read.from) + "-" + std::to_string(read.to) + " of " + url_;
  }
  return std::nullopt;
}

void HTTPMediaSource::deliver(const Read& read, Chunk chunk) {
  if (!size_) {
    size_ = chunk.total;
    gst_app_src_set_size(appsrc_, static_cast<gint64>(chunk.total));
  }
  auto* bytes = new std::vector<std::uint8_t>(std::move(chunk.bytes));
  const auto length = bytes->size() - chunk.skip;
  GstBuffer* buffer = gst_buffer_new_wrapped_full(
      GST_MEMORY_FLAG_READONLY, bytes->data() + chunk.skip, length, 0, length, bytes,
      [](void* data) { delete static_cast<std::vector<std::uint8_t>*>(data); });
  GST_BUFFER_OFFSET(buffer) = read.from;
  // Pushed with mutex_ held, so that a seek (which takes it) cannot come between the check of
  // the generation and the push. appsrc never blocks here ("block" is off) and calls
  // enough-data without taking mutex_.
  gst_app_src_push_buffer(appsrc_, buffer);
  offset_ = read.from + length;
  if (offset_ >= *size_) {
    finished_ = true;
    gst_app_src_end_of_stream(appsrc_);
  }
}

}  // namespace platform::detail
