#pragma once

#include <expected>
#include <string>
#include <string_view>

namespace socketio::detail {

// Engine.IO protocol revisions: 3 (Socket.IO 2 servers) and 4 (Socket.IO 3 and later).
enum class EngineProtocol { v3 = 3, v4 = 4 };

enum class EnginePacketType { open, close, ping, pong, message, upgrade, noop };

// One Engine.IO packet of a WebSocket frame. `data` points into the frame it was decoded
// from. A binary message's data is the raw attachment bytes.
struct EnginePacket {
  EnginePacketType type = EnginePacketType::noop;
  std::string_view data;
  bool binary = false;
};

enum class EnginePacketError {
  empty,            // a frame with nothing in it
  unknownType,      // a text frame whose first character is no packet type
  binaryNotMessage  // an Engine.IO 3 binary frame whose type byte is not "message"
};

[[nodiscard]] std::string_view description(EnginePacketError error);

// Reads one WebSocket frame. Over WebSocket every frame is exactly one packet: a text frame
// is the type digit and the data; a binary frame is a binary message, which Engine.IO 3
// prefixes with the type as a byte (4).
[[nodiscard]] std::expected<EnginePacket, EnginePacketError> decodeEnginePacket(
    std::string_view frame, bool binaryFrame, EngineProtocol protocol);

// The text frame for a packet: its type digit and data.
[[nodiscard]] std::string encodeEngineText(EnginePacketType type, std::string_view data = {});

// What goes in front of a message's data in its frame: the type digit "4" in a text frame;
// in a binary frame the type as a byte (Engine.IO 3) or nothing (Engine.IO 4).
[[nodiscard]] std::string_view engineMessageLead(bool binary, EngineProtocol protocol);

}  // namespace socketio::detail
