#include "Platform/Dispatch/DispatchQueue.h"

#include <algorithm>
#include <array>
#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "Platform/Dispatch/FatalError.h"
#include "Platform/Dispatch/MainContext.h"
#include "Platform/Dispatch/MainThread.h"

namespace platform {

namespace asio = boost::asio;

enum class QueueKind { main, concurrent, serial };

struct DispatchQueue::Impl {
  asio::any_io_executor executor;
  std::shared_ptr<DispatchQueue> target;  // keeps a serial queue's target alive
  std::string label;
  DispatchQoS qos;
  QueueKind kind;
};

namespace {

// The queue whose work the calling thread runs now; with each queue's target it forms
// the chain that isCurrent() walks.
thread_local const DispatchQueue* tRunning = nullptr;

class RunningMark {
 public:
  explicit RunningMark(const DispatchQueue* queue) : previous_(std::exchange(tRunning, queue)) {}
  ~RunningMark() { tRunning = previous_; }
  RunningMark(const RunningMark&) = delete;
  RunningMark& operator=(const RunningMark&) = delete;

 private:
  const DispatchQueue* previous_;
};

asio::thread_pool& sharedPool() {
  // The main context must outlive the pool: pool threads may still post to it while
  // static objects are destroyed at exit.
  (void)detail::mainContext();
  static asio::thread_pool pool(std::max(4u, std::thread::hardware_concurrency()));
  return pool;
}

constexpr std::array kQoSNames = {"background", "utility", "default", "user-initiated",
                                  "user-interactive"};

}  // namespace

DispatchQueue::DispatchQueue(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {
}

DispatchQueue::~DispatchQueue() = default;

const std::shared_ptr<DispatchQueue>& DispatchQueue::main() {
  static const std::shared_ptr<DispatchQueue> queue(new DispatchQueue(
      std::make_unique<Impl>(Impl{detail::mainContext().get_executor(), nullptr, "main",
                                  DispatchQoS::userInteractive, QueueKind::main})));
  return queue;
}

const std::shared_ptr<DispatchQueue>& DispatchQueue::global(DispatchQoS qos) {
  static const auto queues = [] {
    std::array<std::shared_ptr<DispatchQueue>, kQoSNames.size()> all;
    for (std::size_t i = 0; i < all.size(); ++i) {
      all[i].reset(new DispatchQueue(std::make_unique<Impl>(
          Impl{sharedPool().get_executor(), nullptr, std::string("global.") + kQoSNames[i],
               static_cast<DispatchQoS>(i), QueueKind::concurrent})));
    }
    return all;
  }();
  return queues.at(static_cast<std::size_t>(qos));
}

std::shared_ptr<DispatchQueue> DispatchQueue::makeSerial(std::string label, DispatchQoS qos,
                                                         std::shared_ptr<DispatchQueue> target) {
  if (!target) target = global(qos);
  auto executor = asio::make_strand(target->impl_->executor);
  return std::shared_ptr<DispatchQueue>(new DispatchQueue(std::make_unique<Impl>(
      Impl{std::move(executor), std::move(target), std::move(label), qos, QueueKind::serial})));
}

const std::string& DispatchQueue::label() const {
  return impl_->label;
}

DispatchQoS DispatchQueue::qos() const {
  return impl_->qos;
}

void DispatchQueue::run(Work& work) {
  RunningMark mark(this);
  work();
}

void DispatchQueue::async(Work work) {
  asio::post(impl_->executor,
             [self = shared_from_this(), work = std::move(work)]() mutable { self->run(work); });
}

void DispatchQueue::sync(Work work) {
  if (isCurrent()) {
    fatalError("sync onto the queue \"" + impl_->label + "\", which this thread is running");
  }
  if (impl_->kind == QueueKind::concurrent) {
    // A concurrent queue never makes the caller wait for other work.
    run(work);
    return;
  }
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  async([&] {
    work();
    std::lock_guard lock(mutex);
    done = true;
    finished.notify_one();
  });
  std::unique_lock lock(mutex);
  finished.wait(lock, [&] { return done; });
}

void DispatchQueue::asyncAfter(std::chrono::steady_clock::duration delay, Work work) {
  auto timer = std::make_shared<asio::steady_timer>(impl_->executor, delay);
  timer->async_wait([timer, self = shared_from_this(),
                     work = std::move(work)](boost::system::error_code ec) mutable {
    if (ec) return;  // the context is shutting down
    self->run(work);
  });
}

bool DispatchQueue::isCurrent() const {
  if (impl_->kind == QueueKind::main && isMainThread()) return true;
  for (const DispatchQueue* queue = tRunning; queue; queue = queue->impl_->target.get()) {
    if (queue == this) return true;
  }
  return false;
}

}  // namespace platform
