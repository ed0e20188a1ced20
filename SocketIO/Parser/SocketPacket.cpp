#include "SocketIO/Parser/SocketPacket.h"

#include <charconv>
#include <utility>

#include "Platform/Foundation/UTF8.h"
#include "SocketIO/Parser/JSONText.h"

namespace socketio::detail {
namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

bool isBinaryType(SocketPacketType type) {
  return type == SocketPacketType::binaryEvent || type == SocketPacketType::binaryAck;
}

// The payload shapes the protocol allows; the server refuses the same ones we refuse.
bool payloadFits(SocketPacketType type, const SocketData& payload) {
  switch (type) {
    case SocketPacketType::connect:
      return payload.is_object();
    case SocketPacketType::disconnect:  // some servers give the reason
    case SocketPacketType::connectError:
      // Not a number: written after an id, its digits would read as part of the id.
      return payload.is_object() || payload.is_string();
    case SocketPacketType::event:
    case SocketPacketType::binaryEvent:
      return payload.is_array() && !payload.empty() &&
             (payload.front().is_string() || payload.front().is_number());
    case SocketPacketType::ack:
    case SocketPacketType::binaryAck:
      return payload.is_array();
  }
  return false;
}

bool isPlaceholder(const SocketData& value) {
  if (!value.is_object()) return false;
  const auto marker = value.find("_placeholder");
  return marker != value.end() && marker->is_boolean() && marker->get<bool>();
}

// Each attachment is moved into its first place and copied into any later one; `placed`
// remembers where it went. Recursion stays within kMaxJSONDepth: decoded payloads were
// refused beyond it.
std::expected<void, SocketPacketError> putAttachments(SocketData& value,
                                                      std::vector<SocketBytes>& attachments,
                                                      std::vector<const SocketData*>& placed) {
  if (isPlaceholder(value)) {
    const auto num = value.find("num");
    if (num == value.end() || !num->is_number_integer()) {
      return std::unexpected(SocketPacketError::badPlaceholder);
    }
    std::optional<std::size_t> index;
    if (num->is_number_unsigned()) {
      if (const auto n = num->get<std::uint64_t>(); n < attachments.size()) index = n;
    } else if (const auto n = num->get<std::int64_t>();
               n >= 0 && static_cast<std::uint64_t>(n) < attachments.size()) {
      index = static_cast<std::size_t>(n);
    }
    if (!index) return std::unexpected(SocketPacketError::badPlaceholder);
    if (const auto* first = placed[*index]) {
      value = SocketData::binary(static_cast<const SocketBytes&>(first->get_binary()));
    } else {
      value = SocketData::binary(std::move(attachments[*index]));
      placed[*index] = &value;
    }
    return {};
  }
  if (value.is_array() || value.is_object()) {
    for (auto& child : value) {
      if (auto put = putAttachments(child, attachments, placed); !put) return put;
    }
  }
  return {};
}

// Host data may be of any depth, so this one counts.
std::expected<void, SocketPacketError> takeAttachments(SocketData& value,
                                                       std::vector<SocketBytes>& attachments,
                                                       std::size_t depth) {
  if (value.is_binary()) {
    const auto num = attachments.size();
    attachments.push_back(std::move(static_cast<SocketBytes&>(value.get_binary())));
    value = SocketData{{"_placeholder", true}, {"num", num}};
    return {};
  }
  if (value.is_array() || value.is_object()) {
    if (depth >= kMaxJSONDepth) return std::unexpected(SocketPacketError::invalidData);
    for (auto& child : value) {
      if (auto taken = takeAttachments(child, attachments, depth + 1); !taken) return taken;
    }
  }
  return {};
}

}  // namespace

std::string_view description(SocketPacketError error) {
  switch (error) {
    case SocketPacketError::empty:
      return "empty packet";
    case SocketPacketError::unknownType:
      return "unknown packet type";
    case SocketPacketError::badAttachments:
      return "malformed attachment count";
    case SocketPacketError::tooManyAttachments:
      return "too many attachments";
    case SocketPacketError::badNamespace:
      return "namespace is not UTF-8";
    case SocketPacketError::badID:
      return "acknowledgement id out of range";
    case SocketPacketError::badJSON:
      return "payload is not JSON";
    case SocketPacketError::invalidPayload:
      return "payload of the wrong shape";
    case SocketPacketError::badPlaceholder:
      return "placeholder names no attachment";
    case SocketPacketError::invalidData:
      return "data has no JSON text";
  }
  return "unknown";
}

std::expected<SocketPacket, SocketPacketError> decodeSocketPacket(std::string_view text) {
  auto head = decodeSocketPacketHead(text);
  if (!head) return std::unexpected(head.error());
  if (auto read = decodeSocketPayload(head->packet, head->payload); !read) {
    return std::unexpected(read.error());
  }
  return std::move(head->packet);
}

std::expected<SocketPacketHead, SocketPacketError> decodeSocketPacketHead(std::string_view text) {
  if (text.empty()) return std::unexpected(SocketPacketError::empty);
  if (text.front() < '0' || text.front() > '6') {
    return std::unexpected(SocketPacketError::unknownType);
  }
  SocketPacket packet;
  packet.type = static_cast<SocketPacketType>(text.front() - '0');
  std::size_t at = 1;

  if (isBinaryType(packet.type)) {
    const auto dash = text.find('-', at);
    if (dash == std::string_view::npos || dash == at) {
      return std::unexpected(SocketPacketError::badAttachments);
    }
    std::size_t count = 0;
    const auto* first = text.data() + at;
    const auto* last = text.data() + dash;
    const auto [end, error] = std::from_chars(first, last, count);
    if (error == std::errc::result_out_of_range) {
      return std::unexpected(SocketPacketError::tooManyAttachments);
    }
    if (error != std::errc{} || end != last) {
      return std::unexpected(SocketPacketError::badAttachments);
    }
    if (count > kMaxAttachments) return std::unexpected(SocketPacketError::tooManyAttachments);
    packet.attachments = count;
    at = dash + 1;
  }

  if (at < text.size() && text[at] == '/') {
    const auto comma = text.find(',', at);
    const auto end = comma == std::string_view::npos ? text.size() : comma;
    const auto nsp = text.substr(at, end - at);
    if (!platform::isValidUTF8(nsp) || nsp.find('\0') != std::string_view::npos) {
      return std::unexpected(SocketPacketError::badNamespace);
    }
    packet.nsp = std::string(nsp);
    at = comma == std::string_view::npos ? text.size() : comma + 1;
  }

  if (at < text.size() && isDigit(text[at])) {
    std::size_t end = at;
    while (end < text.size() && isDigit(text[end])) ++end;
    std::uint64_t id = 0;
    const auto [stop, error] = std::from_chars(text.data() + at, text.data() + end, id);
    if (error != std::errc{} || stop != text.data() + end) {
      return std::unexpected(SocketPacketError::badID);
    }
    packet.id = id;
    at = end;
  }

  return SocketPacketHead{std::move(packet), text.substr(at)};
}

std::expected<void, SocketPacketError> decodeSocketPayload(SocketPacket& packet,
                                                           std::string_view payload) {
  if (payload.empty()) {
    // An event names itself in its payload, an ack's payload is its list of items, and a
    // refusal says why.
    if (packet.type == SocketPacketType::connect || packet.type == SocketPacketType::disconnect)
      return {};
    return std::unexpected(SocketPacketError::invalidPayload);
  }
  auto data = parseJSONText(payload);
  if (!data) return std::unexpected(SocketPacketError::badJSON);
  if (!payloadFits(packet.type, *data)) return std::unexpected(SocketPacketError::invalidPayload);
  packet.data = std::move(*data);
  return {};
}

std::expected<void, SocketPacketError> reconstructBinary(SocketPacket& packet,
                                                         std::vector<SocketBytes> attachments) {
  std::vector<const SocketData*> placed(attachments.size(), nullptr);
  if (auto put = putAttachments(packet.data, attachments, placed); !put) return put;
  packet.type =
      packet.type == SocketPacketType::binaryAck ? SocketPacketType::ack : SocketPacketType::event;
  packet.attachments = 0;
  return {};
}

std::expected<EncodedSocketPacket, SocketPacketError> encodeSocketPacket(SocketPacket packet) {
  EncodedSocketPacket encoded;
  if (auto taken = takeAttachments(packet.data, encoded.attachments, 0); !taken) {
    return std::unexpected(taken.error());
  }
  if (!encoded.attachments.empty()) {
    if (packet.type == SocketPacketType::event) packet.type = SocketPacketType::binaryEvent;
    if (packet.type == SocketPacketType::ack) packet.type = SocketPacketType::binaryAck;
  }

  auto& text = encoded.text;
  text.reserve(packet.nsp.size() + 64);
  text.push_back(static_cast<char>('0' + static_cast<int>(packet.type)));
  if (isBinaryType(packet.type)) {
    text.append(std::to_string(encoded.attachments.size()));
    text.push_back('-');
  }
  if (!packet.nsp.empty() && packet.nsp != "/") {
    text.append(packet.nsp);
    text.push_back(',');
  }
  if (packet.id) text.append(std::to_string(*packet.id));
  if (!packet.data.is_null()) {
    // Written straight after the head: no payload string of its own to copy.
    try {
      nlohmann::detail::serializer<SocketData> serializer(
          nlohmann::detail::output_adapter<char>(text), ' ',
          nlohmann::json::error_handler_t::strict);
      serializer.dump(packet.data, false, false, 0);
    } catch (const nlohmann::json::exception&) {
      return std::unexpected(SocketPacketError::invalidData);
    }
  }
  return encoded;
}

}  // namespace socketio::detail
