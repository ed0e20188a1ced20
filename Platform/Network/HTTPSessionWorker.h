#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <curl/curl.h>

#include "Platform/Network/CurlSlist.h"
#include "Platform/Network/DataResponse.h"
#include "Platform/Network/TrustStore.h"

namespace platform {

class CurlEasyHandle;
class DispatchQueue;
class HTTPTransfer;

// The HTTP session's worker and what it owns: the libcurl multi handle with its pool of
// kept-alive connections, the easy handles, the trust store, and the transfers waiting for
// a connection.
//
// Threads: run() is the worker thread, the only one to touch libcurl handles. The other
// members may be called from any thread; they reach the worker through a locked queue and
// an eventfd that its poll watches.
//
// Connections: at most `maximumConnectionsPerHost` exchanges run at once against one
// scheme, host and port; the rest wait, in the order they came, holding no libcurl handle.
// A waiting transfer times out when its host answered nothing for its time-out, counted
// from when it was submitted at the earliest.
//
// Trust: pooled connections and TLS sessions were verified under the extra CA setting of
// their day. When it changes, no request goes out on an older connection or resumes an
// older session: idle handles (with their session caches) are dropped, requests open new
// connections while older exchanges finish, and the pool is then closed whole.
class HTTPSessionWorker {
 public:
  using Clock = std::chrono::steady_clock;

  HTTPSessionWorker(std::string userAgent, std::size_t maximumConnectionsPerHost);
  ~HTTPSessionWorker();
  HTTPSessionWorker(const HTTPSessionWorker&) = delete;
  HTTPSessionWorker& operator=(const HTTPSessionWorker&) = delete;

  // --- Any thread.

  // Hands the transfer to the worker; once a stop was requested, delivers it cancelled.
  void enqueue(const std::shared_ptr<HTTPTransfer>& transfer);
  // Posts the completion with `response`, unless someone delivered it already.
  void deliver(const std::shared_ptr<HTTPTransfer>& transfer, DataResponse response);
  // Marks the transfer cancelled and wakes the worker, which ends it: a running one through
  // its progress callback, one waiting for a connection by taking it out of the line.
  void cancel(const std::shared_ptr<HTTPTransfer>& transfer);
  // Refuses new transfers and makes the worker stop what runs and end.
  void requestStop();
  [[nodiscard]] bool waitUntilFinished(Clock::time_point deadline);
  // Past a stop's deadline: delivers, from here, what the worker has not delivered yet.
  void cancelUndelivered();
  [[nodiscard]] const std::atomic<bool>& stopping() const { return stopping_; }

  // --- The worker thread.

  void run();

 private:
  struct Origin {
    std::size_t running = 0;
    std::deque<std::shared_ptr<HTTPTransfer>> waiting;
    Clock::time_point lastAnswer{};
    // No waiting transfer is due before this.
    Clock::time_point nextWaitingDeadline = Clock::time_point::max();
  };

  struct Running {
    std::shared_ptr<HTTPTransfer> transfer;
    std::unique_ptr<CurlEasyHandle> handle;
  };

  struct Ready {
    std::shared_ptr<DispatchQueue> queue;
    std::move_only_function<void(DataResponse)> completion;
    DataResponse response;
  };

  // Whether the caller is the one to deliver `transfer`'s completion. Needs `mutex_`.
  [[nodiscard]] bool take(const std::shared_ptr<HTTPTransfer>& transfer);
  // Puts a taken completion on its queue. Needs `mutex_`.
  static void post(const std::shared_ptr<HTTPTransfer>& transfer, DataResponse response);
  // The worker's deliveries: taken at once, posted together at the end of the round, one
  // task per queue, so that a round that ends many exchanges wakes each queue once.
  void deliverLater(const std::shared_ptr<HTTPTransfer>& transfer, DataResponse response);
  void postReady();
  void postReadyLocked();  // needs `mutex_`

  void wake();
  void poll();
  void admit(std::shared_ptr<HTTPTransfer> transfer);
  void dropCancelledWaiting();
  void start(const std::shared_ptr<HTTPTransfer>& transfer, Origin& origin);
  void startWaiting(Origin& origin);
  void perform();
  void finish(CURL* easy, CURLcode result);
  void release(Running running);
  void forgetIfIdle(const std::string& key);
  void expireRunning(Clock::time_point now);
  void expireWaiting(Clock::time_point now);
  [[nodiscard]] int pollTimeoutMs() const;
  void windDown();

  [[nodiscard]] bool connectionsNeedRenewal();
  void renewConnectionsIfStale();
  [[nodiscard]] std::unique_ptr<CurlEasyHandle> takeHandle();
  void returnHandle(std::unique_ptr<CurlEasyHandle> handle);
  [[nodiscard]] std::optional<SharedCurlSlist> currentConnectTo();

  const std::string userAgent_;
  const std::size_t maximumConnectionsPerHost_;
  const int wakeFd_;
  std::atomic<bool> stopping_{false};
  // Some waiting transfer may have been cancelled since the worker last looked.
  std::atomic<bool> cancelPending_{false};

  std::mutex mutex_;
  std::condition_variable finishedChanged_;
  bool finished_ = false;                                          // guarded by mutex_
  bool accepting_ = true;                                          // guarded by mutex_
  std::vector<std::shared_ptr<HTTPTransfer>> submitted_;           // guarded by mutex_
  std::unordered_set<std::shared_ptr<HTTPTransfer>> undelivered_;  // guarded by mutex_
  std::vector<Ready> ready_;                                       // guarded by mutex_

  // The worker's. The trust store outlives the handles, whose TLS contexts refer to it.
  TrustStore trust_;
  CURLM* multi_ = nullptr;
  std::uint64_t connectionsGeneration_ = 0;  // the trust setting of the pooled connections
  std::unordered_map<std::string, Origin> origins_;
  std::unordered_map<CURL*, Running> running_;
  std::vector<std::unique_ptr<CurlEasyHandle>> idleHandles_;
  SharedCurlSlist connectTo_;
  std::optional<std::uint64_t> connectToGeneration_;
};

}  // namespace platform
