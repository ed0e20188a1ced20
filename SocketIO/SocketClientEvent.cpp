#include "SocketIO/SocketClientEvent.h"

namespace socketio {

std::string_view rawValue(SocketClientEvent event) {
  switch (event) {
    case SocketClientEvent::connect:
      return "connect";
    case SocketClientEvent::disconnect:
      return "disconnect";
    case SocketClientEvent::error:
      return "error";
    case SocketClientEvent::ping:
      return "ping";
    case SocketClientEvent::pong:
      return "pong";
    case SocketClientEvent::reconnect:
      return "reconnect";
    case SocketClientEvent::reconnectAttempt:
      return "reconnectAttempt";
    case SocketClientEvent::statusChange:
      return "statusChange";
  }
  return {};
}

std::optional<SocketClientEvent> socketClientEventFromRawValue(std::string_view raw) {
  for (const auto event : kAllSocketClientEvents) {
    if (rawValue(event) == raw) return event;
  }
  return std::nullopt;
}

}  // namespace socketio
