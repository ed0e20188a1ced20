#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "Platform/Dispatch/DispatchQoS.h"

namespace platform {

// A queue of work items, in the three kinds the host platform offers:
//   - the main queue, whose work runs on the process's main thread while the host runs
//     the main loop (MainLoop);
//   - the global concurrent queues, one per quality of service, all over one shared
//     thread pool;
//   - serial queues, which run one item at a time, in order, on their target queue
//     (by default the global queue of their quality of service).
//
// Every member may be called from any thread. Pending work keeps its queue alive.
class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
 public:
  using Work = std::move_only_function<void()>;

  static const std::shared_ptr<DispatchQueue>& main();
  static const std::shared_ptr<DispatchQueue>& global(DispatchQoS qos = DispatchQoS::defaultQoS);
  static std::shared_ptr<DispatchQueue> makeSerial(std::string label,
                                                   DispatchQoS qos = DispatchQoS::defaultQoS,
                                                   std::shared_ptr<DispatchQueue> target = nullptr);

  ~DispatchQueue();
  DispatchQueue(const DispatchQueue&) = delete;
  DispatchQueue& operator=(const DispatchQueue&) = delete;

  [[nodiscard]] const std::string& label() const;
  [[nodiscard]] DispatchQoS qos() const;

  // Schedules `work` and returns at once.
  void async(Work work);

  // Runs `work` on this queue and waits for it. Waiting on a queue that the calling
  // thread is itself running (directly or through a queue that targets it) could never
  // finish, so it stops the process with a fatal error instead of deadlocking.
  void sync(Work work);

  // Schedules `work` to run once `delay` has passed.
  void asyncAfter(std::chrono::steady_clock::duration delay, Work work);

  // True while the calling thread runs work of this queue, or of a serial queue that
  // targets it. The main queue is current on the main thread.
  [[nodiscard]] bool isCurrent() const;

 private:
  struct Impl;

  explicit DispatchQueue(std::unique_ptr<Impl> impl);

  void run(Work& work);

  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
