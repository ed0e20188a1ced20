#pragma once

#include <optional>
#include <string_view>

namespace socketio {

// Where a socket (or its manager's connection) stands. The raw values are the ones hosts
// see in "statusChange" data.
enum class SocketIOStatus { notConnected, disconnected, connecting, connected };

[[nodiscard]] int rawValue(SocketIOStatus status);
[[nodiscard]] std::optional<SocketIOStatus> socketIOStatusFromRawValue(int rawValue);
[[nodiscard]] std::string_view description(SocketIOStatus status);

// True for connecting and connected: the states in which the socket wants a connection.
[[nodiscard]] bool active(SocketIOStatus status);

}  // namespace socketio
