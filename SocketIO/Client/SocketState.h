#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "SocketIO/SocketIOStatus.h"

namespace socketio::detail {

// What a socket shows its host of the state its manager's I/O strand keeps: written there,
// read from anywhere.
class SocketState {
 public:
  [[nodiscard]] SocketIOStatus status() const { return status_.load(); }
  void setStatus(SocketIOStatus status) { status_.store(status); }

  [[nodiscard]] std::string sid() const {
    std::lock_guard lock(mutex_);
    return sid_;
  }
  void setSid(std::string sid) {
    std::lock_guard lock(mutex_);
    sid_ = std::move(sid);
  }

  // Set once the manager is being destroyed: nothing more reaches the socket's handlers.
  [[nodiscard]] bool detached() const { return detached_.load(); }
  void detach() { detached_.store(true); }

 private:
  std::atomic<SocketIOStatus> status_{SocketIOStatus::notConnected};
  std::atomic<bool> detached_{false};
  mutable std::mutex mutex_;
  std::string sid_;
};

}  // namespace socketio::detail
