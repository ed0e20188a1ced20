#include "Platform/Network/HTTPSessionWorker.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <utility>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Dispatch/FatalError.h"
#include "Platform/Foundation/ASCII.h"
#include "Platform/Network/ConnectToTable.h"
#include "Platform/Network/CurlEasyHandle.h"
#include "Platform/Network/ExtraTrustedCA.h"
#include "Platform/Network/HTTPTransfer.h"

namespace platform {
namespace {

using Kind = HTTPSessionError::Kind;
using std::chrono::milliseconds;

// The worker sleeps this long at most when nothing is due; submissions and shutdown wake
// it at once, so the bound only limits how stale a missed wake-up could ever leave it.
constexpr milliseconds kLongestPoll{10'000};
// Kept-alive connections the pool holds. libcurl's default (four per transfer in progress)
// closes connections as a burst drains one by one, and the next burst pays new handshakes.
constexpr long kPooledConnections = 32;
// Finished easy handles kept for the next requests, with their settings and TLS sessions.
constexpr std::size_t kPooledHandles = 32;

HTTPSessionError cancelledError() {
  return {Kind::cancelled, "The HTTP session was shut down before the request completed."};
}

// "https://User@Example.com/a?b" → "https://example.com:443": what the connection cap counts.
std::string originOf(std::string_view url) {
  const auto schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos) return asciiLowercased(url);
  const auto scheme = url.substr(0, schemeEnd);
  auto authority = url.substr(schemeEnd + 3);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  std::string origin = asciiLowercased(scheme);
  origin += "://";
  origin += asciiLowercased(authority);
  const auto closingBracket = authority.rfind(']');
  const auto colon = authority.rfind(':');
  const bool hasPort = colon != std::string_view::npos &&
                       (closingBracket == std::string_view::npos || colon > closingBracket);
  if (!hasPort) origin += asciiCaseInsensitiveEqual(scheme, "https") ? ":443" : ":80";
  return origin;
}

// curl_global_init must run once before any other libcurl call and is not safe to race
// with other libcurl calls; every path into libcurl starts with a session, which calls
// this. curl_global_cleanup is never called: a worker left running past a shutdown
// deadline may still be inside libcurl at exit.
void initializeCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) fatalError("curl_global_init failed");
  });
}

CURLM* makeMulti() {
  CURLM* multi = curl_multi_init();
  if (!multi) fatalError("curl_multi_init failed");
  curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, kPooledConnections);
  return multi;
}

int makeWakeFd() {
  initializeCurlOnce();
  const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) fatalError("eventfd failed for the HTTP session");
  return fd;
}

}  // namespace

HTTPSessionWorker::HTTPSessionWorker(std::string userAgent, std::size_t maximumConnectionsPerHost)
    : userAgent_(std::move(userAgent)),
      maximumConnectionsPerHost_(std::max<std::size_t>(maximumConnectionsPerHost, 1)),
      wakeFd_(makeWakeFd()),
      multi_(makeMulti()),
      connectionsGeneration_(extraTrustedCAGeneration()) {
}

HTTPSessionWorker::~HTTPSessionWorker() {
  running_.clear();
  idleHandles_.clear();
  curl_multi_cleanup(multi_);
  ::close(wakeFd_);
}

// --- Any thread.

void HTTPSessionWorker::enqueue(const std::shared_ptr<HTTPTransfer>& transfer) {
  bool accepted = false;
  bool wakeUp = false;
  {
    std::lock_guard lock(mutex_);
    accepted = accepting_;
    if (accepted) {
      // Only the submission that finds the queue empty wakes the worker: the worker empties
      // the queue under this lock, so a queue with something in it has a wake-up on its
      // way from the submission that put the first one there.
      wakeUp = submitted_.empty();
      submitted_.push_back(transfer);
      undelivered_.insert(transfer);
    }
  }
  // Refused, so nobody else knows of it: its completion is this call's to post.
  if (!accepted) post(transfer, {std::nullopt, {}, cancelledError()});
  if (wakeUp) wake();
}

// Every hand-over (taking a completion and putting it on its queue, or among the round's
// ready ones) happens under `mutex_`: a stop past its deadline then never returns while a
// completion the worker took is still in neither place.
bool HTTPSessionWorker::take(const std::shared_ptr<HTTPTransfer>& transfer) {
  return undelivered_.erase(transfer) > 0;
}

void HTTPSessionWorker::post(const std::shared_ptr<HTTPTransfer>& transfer, DataResponse response) {
  transfer->queue->async([completion = std::exchange(transfer->completion, nullptr),
                          response = std::move(response)]() mutable {
    if (completion) completion(std::move(response));
  });
}

void HTTPSessionWorker::deliver(const std::shared_ptr<HTTPTransfer>& transfer,
                                DataResponse response) {
  std::lock_guard lock(mutex_);
  if (take(transfer)) post(transfer, std::move(response));
}

void HTTPSessionWorker::cancel(const std::shared_ptr<HTTPTransfer>& transfer) {
  transfer->cancelRequested.store(true, std::memory_order_release);
  // Ordered after the transfer's flag: the worker that sees this sees the flag too.
  cancelPending_.store(true, std::memory_order_release);
  wake();
}

void HTTPSessionWorker::deliverLater(const std::shared_ptr<HTTPTransfer>& transfer,
                                     DataResponse response) {
  std::lock_guard lock(mutex_);
  if (!take(transfer)) return;
  ready_.push_back(
      {transfer->queue, std::exchange(transfer->completion, nullptr), std::move(response)});
}

void HTTPSessionWorker::postReady() {
  std::lock_guard lock(mutex_);
  postReadyLocked();
}

void HTTPSessionWorker::postReadyLocked() {
  while (!ready_.empty()) {
    // The first queue's completions, in the order they were taken; the rest wait their turn.
    const auto queue = ready_.front().queue;
    std::vector<Ready> batch;
    std::vector<Ready> others;
    for (auto& item : ready_) (item.queue == queue ? batch : others).push_back(std::move(item));
    ready_ = std::move(others);
    queue->async([batch = std::move(batch)]() mutable {
      for (auto& item : batch) {
        if (item.completion) item.completion(std::move(item.response));
      }
    });
  }
}

void HTTPSessionWorker::requestStop() {
  {
    std::lock_guard lock(mutex_);
    accepting_ = false;
  }
  // Ordered after `accepting_`, so every accepted transfer is in `submitted_` by the time
  // the worker sees the flag.
  stopping_.store(true, std::memory_order_release);
  wake();
}

bool HTTPSessionWorker::waitUntilFinished(Clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  return finishedChanged_.wait_until(lock, deadline, [&] { return finished_; });
}

void HTTPSessionWorker::cancelUndelivered() {
  std::lock_guard lock(mutex_);
  postReadyLocked();
  for (const auto& transfer : undelivered_) post(transfer, {std::nullopt, {}, cancelledError()});
  undelivered_.clear();
}

void HTTPSessionWorker::wake() {
  const std::uint64_t one = 1;
  // A full counter already has a wake-up pending; nothing else can fail here.
  while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

// --- The worker thread.

void HTTPSessionWorker::run() {
  std::vector<std::shared_ptr<HTTPTransfer>> incoming;
  while (!stopping_.load(std::memory_order_acquire)) {
    {
      std::lock_guard lock(mutex_);
      incoming.swap(submitted_);
    }
    renewConnectionsIfStale();
    for (auto& transfer : incoming) admit(std::move(transfer));
    incoming.clear();
    if (cancelPending_.exchange(false, std::memory_order_acq_rel)) dropCancelledWaiting();
    perform();
    // Waiting transfers first: a running one that expires hands its connection to the
    // next waiting one, which must not be one already due.
    const auto now = Clock::now();
    expireWaiting(now);
    expireRunning(now);
    postReady();
    if (stopping_.load(std::memory_order_acquire)) break;
    poll();
  }
  windDown();
}

void HTTPSessionWorker::poll() {
  curl_waitfd wakeUp{wakeFd_, CURL_WAIT_POLLIN, 0};
  curl_multi_poll(multi_, &wakeUp, 1, pollTimeoutMs(), nullptr);
  if (wakeUp.revents & CURL_WAIT_POLLIN) {
    std::uint64_t count = 0;
    (void)::read(wakeFd_, &count, sizeof count);
  }
}

void HTTPSessionWorker::windDown() {
  postReady();
  std::vector<std::shared_ptr<HTTPTransfer>> left;
  {
    std::lock_guard lock(mutex_);
    left.swap(submitted_);
  }
  for (auto& [easy, running] : running_) {
    curl_multi_remove_handle(multi_, easy);
    left.push_back(std::move(running.transfer));
  }
  running_.clear();
  for (auto& [key, origin] : origins_) {
    left.insert(left.end(), origin.waiting.begin(), origin.waiting.end());
  }
  origins_.clear();
  for (const auto& transfer : left) deliver(transfer, {std::nullopt, {}, cancelledError()});
  idleHandles_.clear();
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  finishedChanged_.notify_all();
}

void HTTPSessionWorker::admit(std::shared_ptr<HTTPTransfer> transfer) {
  // Cancelled before the worker took it in: its cancel may have been looked for already.
  if (transfer->cancelRequested.load(std::memory_order_acquire)) {
    deliverLater(transfer, HTTPTransfer::cancelledByCaller());
    return;
  }
  auto key = originOf(transfer->request.url);
  auto& origin = origins_[key];
  transfer->origin = std::move(key);
  if (origin.running < maximumConnectionsPerHost_ && origin.waiting.empty()) {
    start(transfer, origin);
    forgetIfIdle(transfer->origin);
    return;
  }
  const auto due = std::max(transfer->submitted, origin.lastAnswer) + transfer->timeout;
  origin.nextWaitingDeadline = std::min(origin.nextWaitingDeadline, due);
  origin.waiting.push_back(std::move(transfer));
}

// Running transfers end through their progress callback; those without a connection yet
// are taken out of their host's line here.
void HTTPSessionWorker::dropCancelledWaiting() {
  std::vector<std::shared_ptr<HTTPTransfer>> cancelled;
  for (auto& [key, origin] : origins_) {
    std::erase_if(origin.waiting, [&](const auto& transfer) {
      if (!transfer->cancelRequested.load(std::memory_order_acquire)) return false;
      cancelled.push_back(transfer);
      return true;
    });
  }
  // A host with a line has all its connections busy, so none is left idle here.
  for (const auto& transfer : cancelled) deliverLater(transfer, HTTPTransfer::cancelledByCaller());
}

void HTTPSessionWorker::start(const std::shared_ptr<HTTPTransfer>& transfer, Origin& origin) {
  const bool freshConnection = connectionsNeedRenewal();
  auto handle = takeHandle();
  if (!handle) {
    deliverLater(transfer,
                 {std::nullopt, {}, HTTPSessionError{Kind::transport, "curl_easy_init failed"}});
    return;
  }
  auto routes = currentConnectTo();
  if (!routes) {
    deliverLater(transfer,
                 {std::nullopt,
                  {},
                  HTTPSessionError{Kind::transport, curl_easy_strerror(CURLE_OUT_OF_MEMORY)}});
    return;
  }
  if (auto failure = handle->prepare(*transfer, *routes, freshConnection)) {
    deliverLater(transfer, {std::nullopt, {}, std::move(*failure)});
    return;
  }
  if (auto code = curl_multi_add_handle(multi_, handle->get()); code != CURLM_OK) {
    deliverLater(transfer,
                 {std::nullopt, {}, HTTPSessionError{Kind::transport, curl_multi_strerror(code)}});
    return;
  }
  ++origin.running;
  // Its clock starts now; its host's only when the host answers.
  transfer->lastActivity = Clock::now();
  transfer->originAnswered = &origin.lastAnswer;
  CURL* easy = handle->get();
  running_.emplace(easy, Running{transfer, std::move(handle)});
}

void HTTPSessionWorker::startWaiting(Origin& origin) {
  while (origin.running < maximumConnectionsPerHost_ && !origin.waiting.empty()) {
    auto next = std::move(origin.waiting.front());
    origin.waiting.pop_front();
    start(next, origin);
  }
  if (origin.waiting.empty()) origin.nextWaitingDeadline = Clock::time_point::max();
}

void HTTPSessionWorker::perform() {
  int stillRunning = 0;
  if (auto code = curl_multi_perform(multi_, &stillRunning); code != CURLM_OK) {
    for (auto& [easy, running] : std::exchange(running_, {})) {
      curl_multi_remove_handle(multi_, easy);
      deliverLater(
          running.transfer,
          {std::nullopt, {}, HTTPSessionError{Kind::transport, curl_multi_strerror(code)}});
      release(std::move(running));
    }
    return;
  }
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
    if (message->msg == CURLMSG_DONE) finish(message->easy_handle, message->data.result);
  }
}

void HTTPSessionWorker::finish(CURL* easy, CURLcode result) {
  auto found = running_.find(easy);
  if (found == running_.end()) return;
  Running running = std::move(found->second);
  running_.erase(found);
  auto& handle = *running.handle;
  deliverLater(running.transfer,
               running.transfer->outcome(result, handle.errorDetail(), handle.effectiveURL()));
  curl_multi_remove_handle(multi_, easy);
  release(std::move(running));
}

// The transfer is out of the multi handle and delivered: its handle and its place among
// its host's connections go to the next.
void HTTPSessionWorker::release(Running running) {
  returnHandle(std::move(running.handle));
  auto& transfer = *running.transfer;
  transfer.originAnswered = nullptr;
  auto found = origins_.find(transfer.origin);
  if (found == origins_.end()) return;
  --found->second.running;
  startWaiting(found->second);
  forgetIfIdle(transfer.origin);
}

void HTTPSessionWorker::forgetIfIdle(const std::string& key) {
  auto found = origins_.find(key);
  if (found != origins_.end() && found->second.running == 0 && found->second.waiting.empty()) {
    origins_.erase(found);
  }
}

void HTTPSessionWorker::expireRunning(Clock::time_point now) {
  std::vector<CURL*> expired;
  for (const auto& [easy, running] : running_) {
    if (now - running.transfer->lastActivity >= running.transfer->timeout) {
      expired.push_back(easy);
    }
  }
  for (CURL* easy : expired) {
    auto found = running_.find(easy);
    if (found == running_.end()) continue;
    Running running = std::move(found->second);
    running_.erase(found);
    curl_multi_remove_handle(multi_, easy);
    deliverLater(running.transfer, running.transfer->timedOut(running.handle->effectiveURL()));
    release(std::move(running));
  }
}

void HTTPSessionWorker::expireWaiting(Clock::time_point now) {
  std::vector<std::shared_ptr<HTTPTransfer>> expired;
  for (auto& [key, origin] : origins_) {
    if (now < origin.nextWaitingDeadline) continue;
    origin.nextWaitingDeadline = Clock::time_point::max();
    std::deque<std::shared_ptr<HTTPTransfer>> kept;
    for (auto& transfer : origin.waiting) {
      const auto due = std::max(transfer->submitted, origin.lastAnswer) + transfer->timeout;
      if (now >= due) {
        expired.push_back(std::move(transfer));
      } else {
        origin.nextWaitingDeadline = std::min(origin.nextWaitingDeadline, due);
        kept.push_back(std::move(transfer));
      }
    }
    origin.waiting.swap(kept);
  }
  std::erase_if(origins_, [](const auto& entry) {
    return entry.second.running == 0 && entry.second.waiting.empty();
  });
  for (const auto& transfer : expired) deliverLater(transfer, transfer->timedOut(nullptr));
}

int HTTPSessionWorker::pollTimeoutMs() const {
  const auto now = Clock::now();
  auto due = now + kLongestPoll;
  for (const auto& [easy, running] : running_) {
    due = std::min(due, running.transfer->lastActivity + running.transfer->timeout);
  }
  for (const auto& [key, origin] : origins_) due = std::min(due, origin.nextWaitingDeadline);
  // Rounded up, so the worker does not wake a hair early and poll again for nothing.
  const auto left = std::chrono::ceil<milliseconds>(due - now);
  return static_cast<int>(std::max(left, milliseconds(0)).count());
}

bool HTTPSessionWorker::connectionsNeedRenewal() {
  if (extraTrustedCAGeneration() == connectionsGeneration_) return false;
  idleHandles_.clear();
  return true;
}

// Closes every pooled connection once no transfer runs on the pool any more. Only between
// rounds of the loop: the multi handle must not go while its messages are being read.
void HTTPSessionWorker::renewConnectionsIfStale() {
  const auto generation = extraTrustedCAGeneration();
  if (generation == connectionsGeneration_ || !running_.empty()) return;
  idleHandles_.clear();
  curl_multi_cleanup(multi_);
  multi_ = makeMulti();
  connectionsGeneration_ = generation;
}

std::unique_ptr<CurlEasyHandle> HTTPSessionWorker::takeHandle() {
  if (idleHandles_.empty()) {
    return CurlEasyHandle::make(userAgent_, trust_, extraTrustedCAGeneration());
  }
  auto handle = std::move(idleHandles_.back());
  idleHandles_.pop_back();
  return handle;
}

// `handle` is out of the multi handle. Its connection stays in the multi handle's pool,
// not with it.
void HTTPSessionWorker::returnHandle(std::unique_ptr<CurlEasyHandle> handle) {
  if (idleHandles_.size() >= kPooledHandles ||
      handle->trustGeneration() != extraTrustedCAGeneration()) {
    return;
  }
  idleHandles_.push_back(std::move(handle));
}

// The connect-to table's routes as a list for libcurl, rebuilt only when the table has
// changed since the last one was built.
std::optional<SharedCurlSlist> HTTPSessionWorker::currentConnectTo() {
  auto& table = ConnectToTable::shared();
  const auto generation = table.generation();
  if (connectToGeneration_ == generation) return connectTo_;
  CurlSlist list;
  for (const auto& route : table.curlConnectTo()) {
    if (!append(list, route.c_str())) return std::nullopt;
  }
  connectTo_ = shared(std::move(list));
  connectToGeneration_ = generation;
  return connectTo_;
}

}  // namespace platform
