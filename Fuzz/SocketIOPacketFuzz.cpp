// Socket.IO packets come from the network: each input is a packet's text. A binary packet
// gets as many made-up attachments as it announces (up to a few) and is reconstructed. Every
// packet read must encode and read back to the same packet, and its items must survive every
// typed read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "SocketIO/Parser/SocketPacket.h"
#include "SocketIO/SocketData.h"

namespace {

using socketio::SocketBytes;
using socketio::SocketData;
using socketio::detail::SocketPacket;
using socketio::detail::SocketPacketType;

constexpr std::size_t kMaxMadeUpAttachments = 8;

bool isBinary(SocketPacketType type) {
  return type == SocketPacketType::binaryEvent || type == SocketPacketType::binaryAck;
}

std::vector<SocketBytes> madeUpAttachments(std::size_t count) {
  std::vector<SocketBytes> attachments;
  for (std::size_t i = 0; i < count; ++i) {
    attachments.emplace_back(i, static_cast<std::uint8_t>(i));
  }
  return attachments;
}

void readItems(const SocketData& data) {
  if (!data.is_array()) return;
  for (const auto& item : data) {
    (void)socketio::itemAs<std::string>(item);
    (void)socketio::itemAs<double>(item);
    (void)socketio::itemAs<std::int64_t>(item);
    (void)socketio::itemAs<std::uint8_t>(item);
    (void)socketio::itemAs<bool>(item);
    (void)socketio::itemAs<SocketBytes>(item);
    (void)socketio::itemAs<SocketData::object_t>(item);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto packet = socketio::detail::decodeSocketPacket(text);
  if (!packet) return 0;
  if (isBinary(packet->type)) {
    if (packet->attachments > kMaxMadeUpAttachments) return 0;
    if (!socketio::detail::reconstructBinary(*packet, madeUpAttachments(packet->attachments))) {
      return 0;
    }
  }
  readItems(packet->data);

  auto encoded = socketio::detail::encodeSocketPacket(*packet);
  if (!encoded) std::abort();  // whatever was read can be written
  auto again = socketio::detail::decodeSocketPacket(encoded->text);
  if (!again) std::abort();
  if (isBinary(again->type) &&
      !socketio::detail::reconstructBinary(*again, std::move(encoded->attachments))) {
    std::abort();
  }
  if (again->type != packet->type || again->nsp != packet->nsp || again->id != packet->id ||
      again->data != packet->data) {
    std::abort();
  }
  return 0;
}
