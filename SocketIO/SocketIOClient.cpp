#include "SocketIO/SocketIOClient.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/Console.h"
#include "SocketIO/Client/ManagerCore.h"
#include "SocketIO/Client/SocketState.h"
#include "SocketIO/Engine/SendBudget.h"
#include "SocketIO/Parser/SocketPacket.h"
#include "SocketIO/SocketManager.h"

namespace socketio {
namespace {

// Names the server keeps for itself: an event under one of them makes it drop the whole
// connection as malformed.
constexpr std::array<std::string_view, 6> kReservedEvents = {
    "connect", "connect_error", "disconnect", "disconnecting", "newListener", "removeListener"};

bool isReserved(std::string_view event) {
  return std::ranges::find(kReservedEvents, event) != kReservedEvents.end();
}

// What a packet holds in memory until it is written.
std::size_t queuedSize(const detail::EncodedSocketPacket& packet) {
  std::size_t size = packet.text.size();
  for (const auto& attachment : packet.attachments) size += attachment.size();
  return size;
}

}  // namespace

SocketIOClient::SocketIOClient(std::weak_ptr<SocketManager> manager, std::string nsp,
                               std::shared_ptr<detail::SocketState> state,
                               std::shared_ptr<platform::DispatchQueue> handleQueue, bool log)
    : manager_(std::move(manager)),
      nsp_(std::move(nsp)),
      state_(std::move(state)),
      handleQueue_(std::move(handleQueue)),
      log_(log) {
}

SocketIOClient::~SocketIOClient() = default;

SocketIOStatus SocketIOClient::status() const {
  return state_->status();
}

std::string SocketIOClient::sid() const {
  return state_->sid();
}

std::shared_ptr<SocketManager> SocketIOClient::manager() const {
  return manager_.lock();
}

void SocketIOClient::connect() {
  log("socket " + nsp_ + ": connect");
  if (auto manager = manager_.lock()) {
    manager->post(
        [nsp = nsp_](detail::ManagerCore& core) { core.connectSocket(nsp, std::nullopt); });
  }
}

void SocketIOClient::connect(SocketData payload) {
  log("socket " + nsp_ + ": connect");
  if (auto manager = manager_.lock()) {
    manager->post([nsp = nsp_, payload = std::move(payload)](detail::ManagerCore& core) mutable {
      core.connectSocket(nsp, std::move(payload));
    });
  }
}

void SocketIOClient::disconnect() {
  log("socket " + nsp_ + ": disconnect");
  if (auto manager = manager_.lock()) {
    manager->post([nsp = nsp_](detail::ManagerCore& core) { core.disconnectSocket(nsp); });
  }
}

SocketIOClient::HandlerID SocketIOClient::on(std::string event, NormalCallback callback) {
  return add(std::move(event), false, std::move(callback));
}

SocketIOClient::HandlerID SocketIOClient::once(std::string event, NormalCallback callback) {
  return add(std::move(event), true, std::move(callback));
}

SocketIOClient::HandlerID SocketIOClient::on(SocketClientEvent event, NormalCallback callback) {
  return add(event, false, std::move(callback));
}

SocketIOClient::HandlerID SocketIOClient::once(SocketClientEvent event, NormalCallback callback) {
  return add(event, true, std::move(callback));
}

SocketIOClient::HandlerID SocketIOClient::add(Key key, bool once, NormalCallback callback) {
  std::lock_guard lock(mutex_);
  const HandlerID id = nextHandlerID_++;
  handlers_.push_back(
      {id, std::move(key), once, std::make_shared<const NormalCallback>(std::move(callback))});
  return id;
}

void SocketIOClient::off(const std::string& event) {
  std::lock_guard lock(mutex_);
  std::erase_if(handlers_, [&](const Handler& handler) { return handler.key == Key(event); });
}

void SocketIOClient::off(SocketClientEvent event) {
  std::lock_guard lock(mutex_);
  std::erase_if(handlers_, [&](const Handler& handler) { return handler.key == Key(event); });
}

void SocketIOClient::off(HandlerID id) {
  std::lock_guard lock(mutex_);
  std::erase_if(handlers_, [&](const Handler& handler) { return handler.id == id; });
}

void SocketIOClient::removeAllHandlers() {
  std::lock_guard lock(mutex_);
  handlers_.clear();
}

void SocketIOClient::emit(std::string event, std::vector<SocketData> items,
                          EmitCompletion completion) {
  send(std::move(event), std::move(items), std::move(completion), std::nullopt, nullptr);
}

void SocketIOClient::emitWithAck(std::string event, std::vector<SocketData> items,
                                 std::chrono::milliseconds timeout, AckCallback callback) {
  send(std::move(event), std::move(items), nullptr, timeout, std::move(callback));
}

void SocketIOClient::send(std::string event, std::vector<SocketData> items,
                          EmitCompletion completion,
                          std::optional<std::chrono::milliseconds> ackTimeout, AckCallback ack) {
  // Both run exactly once from here on, whatever happens; dropped, they report cancelled.
  detail::EmitCompletion written(handleQueue_, std::move(completion));
  detail::AckCompletion answered(handleQueue_, std::move(ack));
  auto fail = [&](SocketIOError error) {
    log("emit of " + event + " on " + nsp_ + " failed: " + std::string(description(error)));
    written(std::unexpected(error));
    answered(std::unexpected(error));
  };
  if (isReserved(event)) return fail(SocketIOError::reservedEventName);

  std::optional<std::uint64_t> ackID;
  if (ackTimeout) ackID = nextAckID_.fetch_add(1);
  SocketData::array_t elements;
  elements.reserve(items.size() + 1);
  elements.emplace_back(event);
  std::ranges::move(items, std::back_inserter(elements));
  auto packet = detail::encodeSocketPacket(
      {detail::SocketPacketType::event, nsp_, ackID, 0, SocketData(std::move(elements))});
  if (!packet) return fail(SocketIOError::invalidData);

  auto manager = manager_.lock();
  if (!manager) return fail(SocketIOError::cancelled);
  auto bytes = manager->budget_->reserve(queuedSize(*packet));
  if (!bytes) return fail(SocketIOError::sendQueueFull);
  manager->post([nsp = nsp_, packet = std::move(*packet), bytes = std::move(*bytes),
                 written = std::move(written), ackID,
                 timeout = ackTimeout.value_or(std::chrono::milliseconds::zero()),
                 answered = std::move(answered)](detail::ManagerCore& core) mutable {
    core.emit(nsp, std::move(packet), std::move(bytes), std::move(written), ackID, timeout,
              std::move(answered));
  });
}

void SocketIOClient::sendAck(std::uint64_t ackID, std::vector<SocketData> items) {
  SocketData::array_t elements;
  elements.reserve(items.size());
  std::ranges::move(items, std::back_inserter(elements));
  auto packet = detail::encodeSocketPacket(
      {detail::SocketPacketType::ack, nsp_, ackID, 0, SocketData(std::move(elements))});
  if (!packet) {
    log("acknowledgement on " + nsp_ + " not sent: its data has no JSON text");
    return;
  }
  auto manager = manager_.lock();
  if (!manager) return;
  auto bytes = manager->budget_->reserve(queuedSize(*packet));
  if (!bytes) {
    log("acknowledgement on " + nsp_ +
        " not sent: " + std::string(description(SocketIOError::sendQueueFull)));
    return;
  }
  manager->post([nsp = nsp_, packet = std::move(*packet),
                 bytes = std::move(*bytes)](detail::ManagerCore& core) mutable {
    core.sendAck(nsp, std::move(packet), std::move(bytes));
  });
}

void SocketIOClient::handleEvent(const std::string& event, const std::vector<SocketData>& items,
                                 std::optional<std::uint64_t> ackID) {
  const SocketAckEmitter ack =
      ackID ? SocketAckEmitter(weak_from_this(), *ackID) : SocketAckEmitter();
  dispatch(event, items, ack);
}

void SocketIOClient::handleClientEvent(SocketClientEvent event,
                                       const std::vector<SocketData>& data) {
  dispatch(event, data, SocketAckEmitter());
}

void SocketIOClient::dispatch(const Key& key, const std::vector<SocketData>& items,
                              const SocketAckEmitter& ack) {
  std::vector<std::shared_ptr<const NormalCallback>> callbacks;
  {
    std::lock_guard lock(mutex_);
    // One-shot handlers leave the table before anything runs, so they run once even when
    // a handler makes the same event happen again.
    for (auto it = handlers_.begin(); it != handlers_.end();) {
      if (it->key == key) {
        callbacks.push_back(it->callback);
        if (it->once) {
          it = handlers_.erase(it);
          continue;
        }
      }
      ++it;
    }
  }
  for (const auto& callback : callbacks) {
    // A handler may have destroyed the manager.
    if (state_->detached()) return;
    if (*callback) (*callback)(items, ack);
  }
}

void SocketIOClient::log(const std::string& message) const {
  if (log_) platform::Console::print("SocketIO: " + message);
}

}  // namespace socketio
