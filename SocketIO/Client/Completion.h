#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "Platform/Dispatch/DispatchQueue.h"
#include "SocketIO/SocketIOError.h"

namespace socketio::detail {

// A host's completion that runs exactly once, on the host's queue: with the result given to
// it, or, should it be dropped unanswered (its manager destroyed, its I/O context gone),
// with SocketIOError::cancelled. `Result` is a std::expected over SocketIOError.
template <typename Result>
class Completion {
 public:
  using Function = std::move_only_function<void(Result)>;

  Completion() = default;
  Completion(std::shared_ptr<platform::DispatchQueue> queue, Function function)
      : queue_(std::move(queue)), function_(std::move(function)) {}
  Completion(Completion&& other) noexcept
      : queue_(std::move(other.queue_)), function_(std::exchange(other.function_, nullptr)) {}
  Completion& operator=(Completion&& other) noexcept {
    if (this != &other) {
      cancel();
      queue_ = std::move(other.queue_);
      function_ = std::exchange(other.function_, nullptr);
    }
    return *this;
  }
  Completion(const Completion&) = delete;
  Completion& operator=(const Completion&) = delete;
  ~Completion() { cancel(); }

  explicit operator bool() const { return static_cast<bool>(function_); }

  void operator()(Result result) {
    auto function = std::exchange(function_, nullptr);
    if (!function || !queue_) return;
    queue_->async([function = std::move(function), result = std::move(result)]() mutable {
      function(std::move(result));
    });
  }

 private:
  void cancel() {
    if (function_) (*this)(std::unexpected(SocketIOError::cancelled));
  }

  std::shared_ptr<platform::DispatchQueue> queue_;
  Function function_;
};

}  // namespace socketio::detail
