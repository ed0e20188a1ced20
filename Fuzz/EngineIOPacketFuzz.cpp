// Engine.IO frames come from the network: every frame is decoded as text and as binary,
// under both protocol revisions, and an open packet's JSON goes through the handshake
// reader. A decoded text packet must encode back to the frame it came from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "SocketIO/Engine/EngineHandshake.h"
#include "SocketIO/Engine/EnginePacket.h"

namespace {

using socketio::detail::EnginePacketType;
using socketio::detail::EngineProtocol;

void decodeAll(std::string_view frame) {
  for (const auto protocol : {EngineProtocol::v3, EngineProtocol::v4}) {
    if (auto packet = socketio::detail::decodeEnginePacket(frame, false, protocol)) {
      if (socketio::detail::encodeEngineText(packet->type, packet->data) != frame) std::abort();
      if (packet->type == EnginePacketType::open) {
        if (auto handshake = socketio::detail::parseEngineHandshake(packet->data)) {
          if (handshake->sid.empty() || handshake->pingInterval.count() <= 0 ||
              handshake->pingTimeout.count() <= 0 ||
              handshake->pingInterval > socketio::detail::kMaxHeartbeatTime ||
              handshake->pingTimeout > socketio::detail::kMaxHeartbeatTime ||
              handshake->maxPayload == 0) {
            std::abort();
          }
        }
      }
    }
    if (auto packet = socketio::detail::decodeEnginePacket(frame, true, protocol)) {
      if (!packet->binary || packet->type != EnginePacketType::message) std::abort();
      if (std::string(socketio::detail::engineMessageLead(true, protocol)) +
              std::string(packet->data) !=
          frame) {
        std::abort();
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view frame(reinterpret_cast<const char*>(data), size);
  decodeAll(frame);
  // The open packet's JSON on its own, the way the handshake reader sees it.
  (void)socketio::detail::parseEngineHandshake(frame);
  return 0;
}
