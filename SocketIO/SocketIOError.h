#pragma once

#include <string_view>

namespace socketio {

// Why an emit, an acknowledgement or its wait failed.
enum class SocketIOError {
  notConnected,       // the socket was not connected when the packet was to be sent
  disconnected,       // the connection ended before the packet went out or the answer came
  cancelled,          // the manager was destroyed first
  ackTimeout,         // no acknowledgement within the time given
  payloadTooLarge,    // a frame would exceed the largest the server accepts (its maxPayload)
  reservedEventName,  // "connect", "disconnect"...: the server would drop the connection
  invalidData,        // no JSON text for it: a string that is not UTF-8, nesting too deep
                      // (for an acknowledgement: the server's answer could not be read)
  sendQueueFull,      // the manager holds its most bytes of unsent packets already
};

[[nodiscard]] std::string_view description(SocketIOError error);

}  // namespace socketio
