#include "SocketIO/Parser/SocketPacket.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using namespace std::string_literals;
using socketio::SocketBytes;
using socketio::SocketData;
using socketio::detail::decodeSocketPacket;
using socketio::detail::encodeSocketPacket;
using socketio::detail::reconstructBinary;
using socketio::detail::SocketPacket;
using socketio::detail::SocketPacketError;
using socketio::detail::SocketPacketType;
using Type = SocketPacketType;

std::string nested(std::size_t depth) {
  return "[\"deep\"," + std::string(depth, '[') + std::string(depth, ']') + "]";
}

struct Decoded {
  std::string text;
  Type type;
  std::string nsp;
  std::optional<std::uint64_t> id;
  std::size_t attachments;
  std::string data;  // the payload's JSON text, "null" for none
};

class SocketPacketDecoding : public ::testing::TestWithParam<Decoded> {};

TEST_P(SocketPacketDecoding, ReadsEveryPart) {
  const auto& expected = GetParam();
  auto packet = decodeSocketPacket(expected.text);
  ASSERT_TRUE(packet.has_value()) << description(packet.error());
  EXPECT_EQ(packet->type, expected.type);
  EXPECT_EQ(packet->nsp, expected.nsp);
  EXPECT_EQ(packet->id, expected.id);
  EXPECT_EQ(packet->attachments, expected.attachments);
  EXPECT_EQ(packet->data, SocketData::parse(expected.data));
}

INSTANTIATE_TEST_SUITE_P(
    Valid, SocketPacketDecoding,
    ::testing::Values(Decoded{"0/chat,", Type::connect, "/chat", {}, 0, "null"},
                      Decoded{"0/chat", Type::connect, "/chat", {}, 0, "null"},
                      Decoded{R"(2/chat,0["a"])", Type::event, "/chat", 0, 0, R"(["a"])"},
                      Decoded{R"(218446744073709551615["a"])", Type::event, "/",
                              18446744073709551615u, 0, R"(["a"])"},
                      Decoded{"3/chat,7[]", Type::ack, "/chat", 7, 0, "[]"},
                      Decoded{"62-/chat,9[]", Type::binaryAck, "/chat", 9, 2, "[]"},
                      Decoded{R"(2/ü,["ü"])", Type::event, "/ü", {}, 0, R"(["ü"])"}));

struct Refused {
  std::string text;
  SocketPacketError error;
};

class SocketPacketRefusal : public ::testing::TestWithParam<Refused> {};

TEST_P(SocketPacketRefusal, NamesWhatIsWrong) {
  auto packet = decodeSocketPacket(GetParam().text);
  ASSERT_FALSE(packet.has_value()) << "decoded " << GetParam().text;
  EXPECT_EQ(packet.error(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, SocketPacketRefusal,
    ::testing::Values(Refused{"", SocketPacketError::empty},
                      Refused{"7", SocketPacketError::unknownType},
                      Refused{R"(5["a"])", SocketPacketError::badAttachments},
                      Refused{R"(5a-["a"])", SocketPacketError::badAttachments},
                      Refused{R"(54097-["a"])", SocketPacketError::tooManyAttachments},
                      Refused{R"(5184467440737095516160-["a"])",
                              SocketPacketError::tooManyAttachments},
                      Refused{R"(218446744073709551616["a"])", SocketPacketError::badID},
                      Refused{"2", SocketPacketError::invalidPayload},
                      Refused{"2[{}]", SocketPacketError::invalidPayload},
                      Refused{"0[]", SocketPacketError::invalidPayload},
                      Refused{"14 2", SocketPacketError::invalidPayload},  // would read as id 42
                      Refused{"41", SocketPacketError::invalidPayload},
                      Refused{R"(2/chat["a"])", SocketPacketError::invalidPayload},
                      Refused{R"(2["a"] ["b"])", SocketPacketError::badJSON},
                      Refused{"2[\"a\"]\0[1]"s, SocketPacketError::badJSON},
                      Refused{"2" + nested(600), SocketPacketError::badJSON},
                      Refused{"2/\xff,[\"a\"]", SocketPacketError::badNamespace},
                      Refused{"2/a\0b,[\"a\"]"s, SocketPacketError::badNamespace}));

TEST(SocketPacketDecoding, NestingUpToTheLimitIsRead) {
  EXPECT_TRUE(decodeSocketPacket("2" + nested(500)).has_value());
}

SocketPacket binaryEvent(std::string_view payload) {
  auto packet = decodeSocketPacket("5" + std::to_string(2) + "-" + std::string(payload));
  EXPECT_TRUE(packet.has_value());
  return packet.value_or(SocketPacket{});
}

struct Reconstruction {
  std::string name;
  std::string payload;
  std::optional<SocketData> expected;  // nothing: refused as badPlaceholder
};

class BinaryReconstruction : public ::testing::TestWithParam<Reconstruction> {};

TEST_P(BinaryReconstruction, PutsAttachmentsInTheirPlaces) {
  auto packet = binaryEvent(GetParam().payload);
  auto put = reconstructBinary(packet, {SocketBytes{1, 2}, SocketBytes{}});
  if (!GetParam().expected) {
    ASSERT_FALSE(put.has_value());
    EXPECT_EQ(put.error(), SocketPacketError::badPlaceholder);
    return;
  }
  ASSERT_TRUE(put.has_value()) << description(put.error());
  EXPECT_EQ(packet.type, Type::event);
  EXPECT_EQ(packet.data, *GetParam().expected);
}

const SocketData kFirst = SocketData::binary({1, 2});

INSTANTIATE_TEST_SUITE_P(
    Placeholders, BinaryReconstruction,
    ::testing::Values(
        Reconstruction{"Twice",
                       R"(["e",{"_placeholder":true,"num":0},{"_placeholder":true,"num":0}])",
                       SocketData{"e", kFirst, kFirst}},
        Reconstruction{"NotAPlaceholder", R"(["e",{"_placeholder":false,"num":0}])",
                       SocketData::parse(R"(["e",{"_placeholder":false,"num":0}])")},
        Reconstruction{"Negative", R"(["e",{"_placeholder":true,"num":-1}])", std::nullopt},
        Reconstruction{"Missing", R"(["e",{"_placeholder":true}])", std::nullopt},
        Reconstruction{"Huge", R"(["e",{"_placeholder":true,"num":18446744073709551615}])",
                       std::nullopt}),
    [](const auto& info) { return info.param.name; });

struct Encoding {
  std::string name;
  SocketPacket packet;
  std::string text;
  std::size_t attachments;
};

class SocketPacketEncoding : public ::testing::TestWithParam<Encoding> {};

TEST_P(SocketPacketEncoding, WritesTheWireFormatAndReadsBack) {
  const auto& [name, packet, text, attachments] = GetParam();
  auto encoded = encodeSocketPacket(packet);
  ASSERT_TRUE(encoded.has_value());
  EXPECT_EQ(encoded->text, text);
  ASSERT_EQ(encoded->attachments.size(), attachments);

  auto decoded = decodeSocketPacket(encoded->text);
  ASSERT_TRUE(decoded.has_value()) << description(decoded.error());
  if (attachments > 0) {
    ASSERT_TRUE(reconstructBinary(*decoded, encoded->attachments));
  }
  EXPECT_EQ(decoded->type, packet.type);
  EXPECT_EQ(decoded->nsp, packet.nsp);
  EXPECT_EQ(decoded->id, packet.id);
  EXPECT_EQ(decoded->data, packet.data);
}

INSTANTIATE_TEST_SUITE_P(
    Packets, SocketPacketEncoding,
    ::testing::Values(
        Encoding{"Event", {Type::event, "/", {}, 0, {"a", 1}}, R"(2["a",1])", 0},
        Encoding{
            "EventWithNamespaceAndID", {Type::event, "/chat", 5, 0, {"a"}}, R"(2/chat,5["a"])", 0},
        Encoding{"ConnectWithAuth",
                 {Type::connect, "/x", {}, 0, {{"token", "t"}}},
                 R"(0/x,{"token":"t"})",
                 0},
        Encoding{"Disconnect", {Type::disconnect, "/x", {}, 0, {}}, "1/x,", 0},
        Encoding{"BinaryEvent",
                 {Type::event, "/", {}, 0, {"b", SocketData::binary({7})}},
                 R"(51-["b",{"_placeholder":true,"num":0}])",
                 1},
        Encoding{
            "NestedBinaryAck",
            {Type::ack, "/n", 1, 0, {{{"x", {SocketData::binary({1}), SocketData::binary({})}}}}},
            R"(62-/n,1[{"x":[{"_placeholder":true,"num":0},{"_placeholder":true,"num":1}]}])",
            2}),
    [](const auto& info) { return info.param.name; });

}  // namespace
