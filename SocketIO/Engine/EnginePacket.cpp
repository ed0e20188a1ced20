#include "SocketIO/Engine/EnginePacket.h"

namespace socketio::detail {

std::string_view description(EnginePacketError error) {
  switch (error) {
    case EnginePacketError::empty:
      return "empty frame";
    case EnginePacketError::unknownType:
      return "unknown Engine.IO packet type";
    case EnginePacketError::binaryNotMessage:
      return "binary frame that is not a message";
  }
  return "unknown";
}

std::expected<EnginePacket, EnginePacketError> decodeEnginePacket(std::string_view frame,
                                                                  bool binaryFrame,
                                                                  EngineProtocol protocol) {
  if (binaryFrame) {
    if (protocol == EngineProtocol::v4) {
      return EnginePacket{EnginePacketType::message, frame, true};
    }
    if (frame.empty()) return std::unexpected(EnginePacketError::empty);
    if (frame.front() != static_cast<char>(EnginePacketType::message)) {
      return std::unexpected(EnginePacketError::binaryNotMessage);
    }
    return EnginePacket{EnginePacketType::message, frame.substr(1), true};
  }
  if (frame.empty()) return std::unexpected(EnginePacketError::empty);
  const char digit = frame.front();
  if (digit < '0' || digit > '6') return std::unexpected(EnginePacketError::unknownType);
  return EnginePacket{static_cast<EnginePacketType>(digit - '0'), frame.substr(1), false};
}

std::string encodeEngineText(EnginePacketType type, std::string_view data) {
  std::string frame;
  frame.reserve(1 + data.size());
  frame.push_back(static_cast<char>('0' + static_cast<int>(type)));
  frame.append(data);
  return frame;
}

std::string_view engineMessageLead(bool binary, EngineProtocol protocol) {
  if (!binary) return "4";
  return protocol == EngineProtocol::v4 ? std::string_view() : std::string_view("\x04", 1);
}

}  // namespace socketio::detail
