#include "SocketIO/Engine/EnginePacket.h"

#include <gtest/gtest.h>

#include <string>

#include "SocketIO/Engine/EngineHandshake.h"

namespace {

using namespace std::chrono_literals;
using socketio::detail::decodeEnginePacket;
using socketio::detail::EngineHandshakeError;
using socketio::detail::engineMessageLead;
using socketio::detail::EnginePacketError;
using socketio::detail::EnginePacketType;
using socketio::detail::EngineProtocol;
using socketio::detail::parseEngineHandshake;

struct Frame {
  std::string bytes;
  bool binary;
  EngineProtocol protocol;
  std::optional<std::string> data;  // a binary message's data, or nothing for the error
  EnginePacketError error = EnginePacketError::empty;
};

class EngineFrame : public ::testing::TestWithParam<Frame> {};

TEST_P(EngineFrame, DecodesOrNamesTheFault) {
  const auto& frame = GetParam();
  auto packet = decodeEnginePacket(frame.bytes, frame.binary, frame.protocol);
  if (!frame.data) {
    ASSERT_FALSE(packet.has_value());
    EXPECT_EQ(packet.error(), frame.error);
    return;
  }
  ASSERT_TRUE(packet.has_value());
  EXPECT_EQ(packet->type, EnginePacketType::message);
  EXPECT_TRUE(packet->binary);
  EXPECT_EQ(packet->data, *frame.data);
  EXPECT_EQ(std::string(engineMessageLead(true, frame.protocol)) + *frame.data, frame.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, EngineFrame,
    ::testing::Values(Frame{"", false, EngineProtocol::v4, std::nullopt, EnginePacketError::empty},
                      Frame{"/", false, EngineProtocol::v3, std::nullopt,
                            EnginePacketError::unknownType},
                      Frame{"", true, EngineProtocol::v4, ""},
                      Frame{"\x04", true, EngineProtocol::v3, ""},
                      Frame{"\x02\x01", true, EngineProtocol::v3, std::nullopt,
                            EnginePacketError::binaryNotMessage},
                      Frame{"", true, EngineProtocol::v3, std::nullopt, EnginePacketError::empty}));

struct BadHandshake {
  std::string text;
  EngineHandshakeError error;
};

class EngineHandshakeRefusal : public ::testing::TestWithParam<BadHandshake> {};

TEST_P(EngineHandshakeRefusal, NamesTheField) {
  auto handshake = parseEngineHandshake(GetParam().text);
  ASSERT_FALSE(handshake.has_value()) << GetParam().text;
  EXPECT_EQ(handshake.error(), GetParam().error);
}

#define OPEN(fields) R"({"sid":"s","pingInterval":10,"pingTimeout":10)" fields "}"

INSTANTIATE_TEST_SUITE_P(
    Fields, EngineHandshakeRefusal,
    ::testing::Values(
        BadHandshake{"[]", EngineHandshakeError::badJSON},
        BadHandshake{OPEN(R"(,"upgrades":"websocket")"), EngineHandshakeError::badJSON},
        BadHandshake{R"({"pingInterval":10,"pingTimeout":10})", EngineHandshakeError::badSid},
        BadHandshake{R"({"sid":7,"pingInterval":10,"pingTimeout":10})",
                     EngineHandshakeError::badSid},
        BadHandshake{R"({"sid":"s","pingInterval":0,"pingTimeout":10})",
                     EngineHandshakeError::badPingInterval},
        BadHandshake{R"({"sid":"s","pingInterval":1.5,"pingTimeout":10})",
                     EngineHandshakeError::badPingInterval},
        BadHandshake{R"({"sid":"s","pingInterval":86400001,"pingTimeout":10})",
                     EngineHandshakeError::badPingInterval},
        BadHandshake{R"({"sid":"s","pingInterval":10,"pingTimeout":18446744073709551615})",
                     EngineHandshakeError::badPingTimeout},
        BadHandshake{OPEN(R"(,"maxPayload":0)"), EngineHandshakeError::badMaxPayload},
        BadHandshake{OPEN(R"(,"maxPayload":"1e6")"), EngineHandshakeError::badMaxPayload}));

}  // namespace
