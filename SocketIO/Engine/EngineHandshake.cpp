#include "SocketIO/Engine/EngineHandshake.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

#include "SocketIO/Parser/JSONText.h"

namespace socketio::detail {
namespace {

using nlohmann::json;

std::optional<std::chrono::milliseconds> heartbeatTime(const json& document, const char* key) {
  const auto found = document.find(key);
  if (found == document.end() || !found->is_number_integer()) return std::nullopt;
  const auto value = found->get<std::int64_t>();
  if (value <= 0 || value > kMaxHeartbeatTime.count()) return std::nullopt;
  return std::chrono::milliseconds(value);
}

}  // namespace

std::string_view description(EngineHandshakeError error) {
  switch (error) {
    case EngineHandshakeError::badJSON:
      return "open packet is no JSON object";
    case EngineHandshakeError::badSid:
      return "open packet has no session id";
    case EngineHandshakeError::badPingInterval:
      return "open packet has no usable pingInterval";
    case EngineHandshakeError::badPingTimeout:
      return "open packet has no usable pingTimeout";
    case EngineHandshakeError::badMaxPayload:
      return "open packet has an unusable maxPayload";
  }
  return "unknown";
}

std::expected<EngineHandshake, EngineHandshakeError> parseEngineHandshake(std::string_view text) {
  auto document = parseJSONText(text);
  if (!document || !document->is_object()) return std::unexpected(EngineHandshakeError::badJSON);

  EngineHandshake handshake;
  const auto sid = document->find("sid");
  if (sid == document->end() || !sid->is_string() || sid->get_ref<const std::string&>().empty()) {
    return std::unexpected(EngineHandshakeError::badSid);
  }
  handshake.sid = sid->get<std::string>();

  if (const auto upgrades = document->find("upgrades"); upgrades != document->end()) {
    if (!upgrades->is_array()) return std::unexpected(EngineHandshakeError::badJSON);
    for (const auto& upgrade : *upgrades) {
      if (!upgrade.is_string()) return std::unexpected(EngineHandshakeError::badJSON);
      handshake.upgrades.push_back(upgrade.get<std::string>());
    }
  }

  const auto interval = heartbeatTime(*document, "pingInterval");
  if (!interval) return std::unexpected(EngineHandshakeError::badPingInterval);
  handshake.pingInterval = *interval;
  const auto timeout = heartbeatTime(*document, "pingTimeout");
  if (!timeout) return std::unexpected(EngineHandshakeError::badPingTimeout);
  handshake.pingTimeout = *timeout;

  if (const auto maxPayload = document->find("maxPayload"); maxPayload != document->end()) {
    const bool positive = maxPayload->is_number_unsigned() ||
                          (maxPayload->is_number_integer() && maxPayload->get<std::int64_t>() > 0);
    if (!positive || maxPayload->get<std::uint64_t>() == 0) {
      return std::unexpected(EngineHandshakeError::badMaxPayload);
    }
    handshake.maxPayload = static_cast<std::size_t>(std::min<std::uint64_t>(
        maxPayload->get<std::uint64_t>(), std::numeric_limits<std::size_t>::max()));
  }
  return handshake;
}

}  // namespace socketio::detail
