#include "SocketIO/Engine/EnginePacket.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "SocketIO/Engine/EngineHandshake.h"

namespace {

using socketio::detail::EngineHandshakeError;
using socketio::detail::EngineProtocol;

// A frame read in one line: the packet's type, "binary" or "text", and its data; or what is
// wrong with it.
std::string read(std::string_view frame, bool binary, EngineProtocol protocol) {
  auto packet = socketio::detail::decodeEnginePacket(frame, binary, protocol);
  if (!packet) return std::string(description(packet.error()));
  return std::to_string(static_cast<int>(packet->type)) + (packet->binary ? " binary " : " text ") +
         std::string(packet->data);
}

TEST(EnginePacket, FramesAreReadOrTheirFaultNamed) {
  using enum EngineProtocol;
  const std::vector<std::tuple<std::string, bool, EngineProtocol, std::string>> frames{
      {"", false, v4, "empty frame"},
      {"/", false, v3, "unknown Engine.IO packet type"},
      {"7", false, v4, "unknown Engine.IO packet type"},
      {"2probe", false, v4, "2 text probe"},
      {"", true, v4, "4 binary "},
      {"\x04\x01", true, v4, "4 binary \x04\x01"},
      {"\x04\x01", true, v3, "4 binary \x01"},
      {"\x02\x01", true, v3, "binary frame that is not a message"},
      {"", true, v3, "empty frame"}};
  for (const auto& [frame, binary, protocol, expected] : frames) {
    EXPECT_EQ(read(frame, binary, protocol), expected) << frame;
  }
}

#define OPEN(fields) R"({"sid":"s","pingInterval":10,"pingTimeout":10)" fields "}"

TEST(EngineHandshake, AnUnusableOpenPacketNamesItsField) {
  const std::vector<std::pair<std::string, EngineHandshakeError>> packets{
      {"[]", EngineHandshakeError::badJSON},
      {OPEN(R"(,"upgrades":"websocket")"), EngineHandshakeError::badJSON},
      {R"({"pingInterval":10,"pingTimeout":10})", EngineHandshakeError::badSid},
      {R"({"sid":7,"pingInterval":10,"pingTimeout":10})", EngineHandshakeError::badSid},
      {R"({"sid":"s","pingInterval":0,"pingTimeout":10})", EngineHandshakeError::badPingInterval},
      {R"({"sid":"s","pingInterval":1.5,"pingTimeout":10})", EngineHandshakeError::badPingInterval},
      {R"({"sid":"s","pingInterval":86400001,"pingTimeout":10})",
       EngineHandshakeError::badPingInterval},
      {R"({"sid":"s","pingInterval":10,"pingTimeout":18446744073709551615})",
       EngineHandshakeError::badPingTimeout},
      {OPEN(R"(,"maxPayload":0)"), EngineHandshakeError::badMaxPayload},
      {OPEN(R"(,"maxPayload":"1e6")"), EngineHandshakeError::badMaxPayload}};
  for (const auto& [text, error] : packets) {
    const auto handshake = socketio::detail::parseEngineHandshake(text);
    EXPECT_EQ(handshake ? EngineHandshakeError(-1) : handshake.error(), error) << text;
  }
}

}  // namespace
