#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SocketIO/SocketData.h"

namespace socketio::detail {

enum class SocketPacketType {
  connect = 0,
  disconnect = 1,
  event = 2,
  ack = 3,
  connectError = 4,  // "error" in the protocol of Socket.IO 2
  binaryEvent = 5,
  binaryAck = 6,
};

// A Socket.IO packet: `<type>[<attachments>-][<namespace>,][<id>][<JSON payload>]`.
struct SocketPacket {
  SocketPacketType type = SocketPacketType::event;
  std::string nsp = "/";
  std::optional<std::uint64_t> id;
  // Binary packets: how many binary frames follow, each taking a placeholder's place.
  std::size_t attachments = 0;
  // The payload; null when the packet has none.
  SocketData data;
};

enum class SocketPacketError {
  empty,
  unknownType,
  badAttachments,      // a binary packet without a well-formed attachment count
  tooManyAttachments,  // more than kMaxAttachments
  badNamespace,        // a namespace that is not UTF-8
  badID,               // an acknowledgement id beyond 64 bits
  badJSON,             // a payload that is not one JSON value (or nests too deep)
  invalidPayload,      // a payload of the wrong shape for its packet type
  badPlaceholder,      // a placeholder naming no attachment
  invalidData,         // encoding: a string that is not UTF-8, or nesting too deep
};

[[nodiscard]] std::string_view description(SocketPacketError error);

// A server announcing more attachments than this is refused rather than waited for.
inline constexpr std::size_t kMaxAttachments = 4096;

// A packet's parts before its payload, and the payload's text still unread.
struct SocketPacketHead {
  SocketPacket packet;  // data still null
  std::string_view payload;
};

// Reads the text of a packet (the Engine.IO message data). Binary packets come back with
// their placeholders in place; reconstructBinary() puts the attachments in.
[[nodiscard]] std::expected<SocketPacket, SocketPacketError> decodeSocketPacket(
    std::string_view text);

// The two steps of decodeSocketPacket. A connection that has read the head knows what the
// packet is and how many attachments follow it, so it can step over a packet whose payload
// fails (badJSON, invalidPayload) and keep going.
[[nodiscard]] std::expected<SocketPacketHead, SocketPacketError> decodeSocketPacketHead(
    std::string_view text);
[[nodiscard]] std::expected<void, SocketPacketError> decodeSocketPayload(SocketPacket& packet,
                                                                         std::string_view payload);

// Replaces every placeholder of `packet` ({"_placeholder":true,"num":n}) with attachment n
// as a binary value. Fails when a placeholder's num is not an index of `attachments`.
[[nodiscard]] std::expected<void, SocketPacketError> reconstructBinary(
    SocketPacket& packet, std::vector<SocketBytes> attachments);

struct EncodedSocketPacket {
  std::string text;
  std::vector<SocketBytes> attachments;
};

// The text and attachments for a packet. Binary values in the payload become placeholders
// and attachments, and an event or ack that has any becomes its binary kind.
[[nodiscard]] std::expected<EncodedSocketPacket, SocketPacketError> encodeSocketPacket(
    SocketPacket packet);

}  // namespace socketio::detail
