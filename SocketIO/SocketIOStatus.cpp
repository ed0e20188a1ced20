#include "SocketIO/SocketIOStatus.h"

namespace socketio {

int rawValue(SocketIOStatus status) {
  return static_cast<int>(status);
}

std::optional<SocketIOStatus> socketIOStatusFromRawValue(int rawValue) {
  if (rawValue < 0 || rawValue > static_cast<int>(SocketIOStatus::connected)) return std::nullopt;
  return static_cast<SocketIOStatus>(rawValue);
}

std::string_view description(SocketIOStatus status) {
  switch (status) {
    case SocketIOStatus::notConnected:
      return "notConnected";
    case SocketIOStatus::disconnected:
      return "disconnected";
    case SocketIOStatus::connecting:
      return "connecting";
    case SocketIOStatus::connected:
      return "connected";
  }
  return "unknown";
}

bool active(SocketIOStatus status) {
  return status == SocketIOStatus::connecting || status == SocketIOStatus::connected;
}

}  // namespace socketio
