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
using Type = socketio::detail::SocketPacketType;

std::string nested(std::size_t depth) {
  return "[\"deep\"," + std::string(depth, '[') + std::string(depth, ']') + "]";
}

// A packet read from `text`, in one line: type, namespace, id ("-" for none), attachments
// and payload; or what is wrong with it.
std::string read(std::string_view text) {
  auto packet = decodeSocketPacket(text);
  if (!packet) return std::string(description(packet.error()));
  return std::to_string(static_cast<int>(packet->type)) + " " + packet->nsp + " " +
         (packet->id ? std::to_string(*packet->id) : "-") + " " +
         std::to_string(packet->attachments) + " " + packet->data.dump();
}

TEST(SocketPacket, DecodingReadsEveryPartOrNamesWhatIsWrong) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"0/chat,", "0 /chat - 0 null"},
      {"0/chat", "0 /chat - 0 null"},
      {R"(2/chat,0["a"])", R"(2 /chat 0 0 ["a"])"},
      {R"(218446744073709551615["a"])", R"(2 / 18446744073709551615 0 ["a"])"},
      {"3/chat,7[]", "3 /chat 7 0 []"},
      {"62-/chat,9[]", "6 /chat 9 2 []"},
      {R"(54096-["a"])", R"(5 / - 4096 ["a"])"},
      {R"(2/ü,["ü"])", R"(2 /ü - 0 ["ü"])"},
      {"2" + nested(500), "2 / - 0 " + nested(500)},
      {"", "empty packet"},
      {"7", "unknown packet type"},
      {R"(5["a"])", "malformed attachment count"},
      {R"(5a-["a"])", "malformed attachment count"},
      {R"(51abc-["a"])", "malformed attachment count"},
      {R"(54097-["a"])", "too many attachments"},
      {R"(5184467440737095516160-["a"])", "too many attachments"},
      {R"(218446744073709551616["a"])", "acknowledgement id out of range"},
      {"2", "payload of the wrong shape"},
      {"2[{}]", "payload of the wrong shape"},
      {"0[]", "payload of the wrong shape"},
      {"14 2", "payload of the wrong shape"},  // would read as id 42
      {"41", "payload of the wrong shape"},
      {R"(2/chat["a"])", "payload of the wrong shape"},
      {R"(2["a"] ["b"])", "payload is not JSON"},
      {"2[\"a\"]\0[1]"s, "payload is not JSON"},
      {"2" + nested(600), "payload is not JSON"},
      {"2/\xff,[\"a\"]", "namespace is not UTF-8"},
      {"2/a\0b,[\"a\"]"s, "namespace is not UTF-8"}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(read(text), expected) << text;
}

TEST(SocketPacket, ReconstructionPutsAttachmentsInTheirPlaces) {
  const SocketData first = SocketData::binary({1, 2});
  const std::string unmarked = R"(["e",{"_placeholder":false,"num":0}])";
  const std::vector<std::pair<std::string, std::optional<SocketData>>> cases{
      {R"(["e",{"_placeholder":true,"num":0},{"_placeholder":true,"num":0}])",
       SocketData{"e", first, first}},
      {unmarked, SocketData::parse(unmarked)},
      {R"(["e",{"_placeholder":true,"num":-1}])", std::nullopt},
      {R"(["e",{"_placeholder":true}])", std::nullopt},
      {R"(["e",{"_placeholder":true,"num":18446744073709551615}])", std::nullopt}};
  for (const auto& [payload, expected] : cases) {
    auto packet = decodeSocketPacket("52-" + payload).value();
    auto put = reconstructBinary(packet, {SocketBytes{1, 2}, SocketBytes{}});
    ASSERT_EQ(put.has_value(), expected.has_value()) << payload;
    EXPECT_EQ(packet.type, put ? Type::event : Type::binaryEvent);
    EXPECT_EQ(put ? packet.data : SocketData(description(put.error())),
              expected.value_or("placeholder names no attachment"));
  }
}

TEST(SocketPacket, EncodingWritesTheWireFormatAndReadsBack) {
  const std::vector<std::pair<SocketPacket, std::string>> cases{
      {{Type::event, "/", {}, 0, {"a", 1}}, R"(2["a",1])"},
      {{Type::event, "/chat", 5, 0, {"a"}}, R"(2/chat,5["a"])"},
      {{Type::connect, "/x", {}, 0, {{"token", "t"}}}, R"(0/x,{"token":"t"})"},
      {{Type::disconnect, "/x", {}, 0, {}}, "1/x,"},
      {{Type::event, "/", {}, 0, {"b", SocketData::binary({7})}},
       R"(51-["b",{"_placeholder":true,"num":0}])"},
      {{Type::ack, "/n", 1, 0, {{{"x", {SocketData::binary({1}), SocketData::binary({})}}}}},
       R"(62-/n,1[{"x":[{"_placeholder":true,"num":0},{"_placeholder":true,"num":1}]}])"}};
  for (const auto& [packet, text] : cases) {
    auto encoded = encodeSocketPacket(packet);
    ASSERT_TRUE(encoded.has_value()) << text;
    EXPECT_EQ(encoded->text, text);
    auto decoded = decodeSocketPacket(encoded->text);
    ASSERT_TRUE(decoded.has_value()) << text;
    ASSERT_EQ(decoded->attachments, encoded->attachments.size());
    ASSERT_TRUE(decoded->attachments == 0 || reconstructBinary(*decoded, encoded->attachments));
    EXPECT_EQ(decoded->type, packet.type);
    EXPECT_EQ(decoded->nsp, packet.nsp);
    EXPECT_EQ(decoded->id, packet.id);
    EXPECT_EQ(decoded->data, packet.data);
  }
}

}  // namespace
