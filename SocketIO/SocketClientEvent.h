#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace socketio {

// What the client itself reports, as opposed to events the server emits. Handlers for
// these are kept apart from handlers for named events, so a server event that happens to
// be called "connect" never looks like a connection. The data each one carries:
//   connect           [namespace, the server's connect payload ({"sid": ...})]
//   disconnect        [reason], e.g. "io server disconnect", "io client disconnect",
//                     "transport close", "ping timeout", "parse error"
//   error             [what went wrong]: a message, or the server's CONNECT_ERROR payload
//   ping, pong        [] on each heartbeat packet received or sent
//   reconnect         [reason] when the manager starts reconnecting by itself
//   reconnectAttempt  [attempts left, -1 for unlimited] before each attempt
//   statusChange      [status description, status raw value]
enum class SocketClientEvent {
  connect,
  disconnect,
  error,
  ping,
  pong,
  reconnect,
  reconnectAttempt,
  statusChange,
};

inline constexpr std::array kAllSocketClientEvents = {
    SocketClientEvent::connect,
    SocketClientEvent::disconnect,
    SocketClientEvent::error,
    SocketClientEvent::ping,
    SocketClientEvent::pong,
    SocketClientEvent::reconnect,
    SocketClientEvent::reconnectAttempt,
    SocketClientEvent::statusChange,
};

[[nodiscard]] std::string_view rawValue(SocketClientEvent event);
[[nodiscard]] std::optional<SocketClientEvent> socketClientEventFromRawValue(std::string_view raw);

}  // namespace socketio
