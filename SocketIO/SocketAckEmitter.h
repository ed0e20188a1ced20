#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "SocketIO/SocketData.h"

namespace socketio {

class SocketIOClient;

// Answers an event that asked for an acknowledgement. Handlers get one; it may be copied
// and kept to answer later, from any thread. Only the first with() of an event (by any
// copy) sends; an event that asked for nothing gets an emitter that sends nothing.
class SocketAckEmitter {
 public:
  SocketAckEmitter() = default;
  SocketAckEmitter(std::weak_ptr<SocketIOClient> socket, std::uint64_t ackNum);

  // Whether the server asked for an acknowledgement.
  [[nodiscard]] bool expected() const { return ackNum_.has_value(); }
  [[nodiscard]] std::optional<std::uint64_t> ackNum() const { return ackNum_; }

  // Sends the acknowledgement with `items`, if the socket is still connected.
  void with(std::vector<SocketData> items) const;

 private:
  std::weak_ptr<SocketIOClient> socket_;
  std::optional<std::uint64_t> ackNum_;
  std::shared_ptr<std::atomic<bool>> sent_;
};

}  // namespace socketio
