#pragma once

#include <chrono>
#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace socketio::detail {

inline constexpr std::size_t kDefaultMaxPayload = 1000000;

// What the server says in its open packet.
struct EngineHandshake {
  std::string sid;
  std::vector<std::string> upgrades;
  std::chrono::milliseconds pingInterval{0};
  std::chrono::milliseconds pingTimeout{0};
  // The largest frame the server accepts. Servers that do not say (Engine.IO 3 ones, and
  // others) get the common servers' default: assuming more lets an emit report "written"
  // that the server then answers by closing the connection.
  std::size_t maxPayload = kDefaultMaxPayload;
};

enum class EngineHandshakeError { badJSON, badSid, badPingInterval, badPingTimeout, badMaxPayload };

[[nodiscard]] std::string_view description(EngineHandshakeError error);

// Heartbeat times beyond this are refused: a timer that long is a broken server, and the
// sum of interval and timeout must not overflow.
inline constexpr std::chrono::milliseconds kMaxHeartbeatTime = std::chrono::hours(24);

// Reads the open packet's JSON. Every field must have its documented type; the heartbeat
// times must be positive and at most kMaxHeartbeatTime, maxPayload positive.
[[nodiscard]] std::expected<EngineHandshake, EngineHandshakeError> parseEngineHandshake(
    std::string_view text);

}  // namespace socketio::detail
