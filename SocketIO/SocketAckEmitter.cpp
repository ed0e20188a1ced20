#include "SocketIO/SocketAckEmitter.h"

#include <utility>

#include "SocketIO/SocketIOClient.h"

namespace socketio {

SocketAckEmitter::SocketAckEmitter(std::weak_ptr<SocketIOClient> socket, std::uint64_t ackNum)
    : socket_(std::move(socket)),
      ackNum_(ackNum),
      sent_(std::make_shared<std::atomic<bool>>(false)) {
}

void SocketAckEmitter::with(std::vector<SocketData> items) const {
  if (!ackNum_ || !sent_ || sent_->exchange(true)) return;
  if (auto socket = socket_.lock()) socket->sendAck(*ackNum_, std::move(items));
}

}  // namespace socketio
