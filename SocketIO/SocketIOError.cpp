#include "SocketIO/SocketIOError.h"

namespace socketio {

std::string_view description(SocketIOError error) {
  switch (error) {
    case SocketIOError::notConnected:
      return "not connected";
    case SocketIOError::disconnected:
      return "disconnected";
    case SocketIOError::cancelled:
      return "cancelled";
    case SocketIOError::ackTimeout:
      return "no acknowledgement in time";
    case SocketIOError::payloadTooLarge:
      return "payload too large for the server";
    case SocketIOError::reservedEventName:
      return "reserved event name";
    case SocketIOError::invalidData:
      return "data has no JSON text";
    case SocketIOError::sendQueueFull:
      return "too much data waiting to be sent";
  }
  return "unknown";
}

}  // namespace socketio
