#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Platform/Network/DataResponse.h"
#include "Platform/Network/SentRequest.h"

typedef struct _GstElement GstElement;
typedef struct _GstAppSrc GstAppSrc;

namespace platform::detail {

// Feeds a pipeline's appsrc with the bytes of an http or https URL, read by the framework's
// HTTP session in ranged GETs of kReadSize bytes, so media get the same certificate checks,
// extra trusted CA and connect-to routes as every other exchange.
//
// Threads: appsrc calls onNeedData, onEnoughData and onSeek from its streaming thread; reads
// complete on a global queue. One read is in flight at a time; a seek makes the read in
// flight stale (its bytes are dropped). A failed read posts an error on the pipeline's bus
// with the network's words. close() (main thread, before the pipeline stops) ends all of it:
// the read in flight is cancelled, no read starts and nothing reaches the appsrc afterwards.
class HTTPMediaSource : public std::enable_shared_from_this<HTTPMediaSource> {
 public:
  static constexpr std::uint64_t kReadSize = 256 * 1024;

  // Takes over `appsrc` (a reference of its own) for reading `url`.
  static std::shared_ptr<HTTPMediaSource> attach(GstElement* appsrc, std::string url);

  ~HTTPMediaSource();
  HTTPMediaSource(const HTTPMediaSource&) = delete;
  HTTPMediaSource& operator=(const HTTPMediaSource&) = delete;

  void close();

 private:
  struct Read {
    std::uint64_t generation;
    std::uint64_t from;
    std::uint64_t to;  // inclusive
  };
  struct Chunk;

  HTTPMediaSource(GstElement* appsrc, std::string url);

  void onNeedData();
  void onEnoughData();
  bool onSeek(std::uint64_t offset);

  [[nodiscard]] std::optional<Read> planRead();  // with mutex_ held
  void send(const Read& read);
  void onRead(const Read& read, DataResponse reply);
  // With mutex_ held: hands the bytes of `reply` on, or ends the stream; answers why the read
  // failed, if it did.
  [[nodiscard]] std::optional<std::string> consume(const Read& read, DataResponse reply);
  void deliver(const Read& read, Chunk chunk);  // with mutex_ held

  // appsrc's callbacks; `data` is a heap weak_ptr to the source, freed with the appsrc.
  static void needData(GstAppSrc* appsrc, unsigned length, void* data);
  static void enoughData(GstAppSrc* appsrc, void* data);
  static int seekData(GstAppSrc* appsrc, std::uint64_t offset, void* data);

  GstAppSrc* appsrc_;
  const std::string url_;
  std::atomic<bool> wanted_{false};  // written by enough-data while a push holds mutex_
  std::mutex mutex_;
  std::uint64_t offset_ = 0;
  std::optional<std::uint64_t> size_;
  std::uint64_t generation_ = 0;
  SentRequest inFlight_;  // the latest read sent; cancelling one already ended does nothing
  bool reading_ = false;
  bool finished_ = false;  // end of stream, or failed
  bool closed_ = false;
};

}  // namespace platform::detail
