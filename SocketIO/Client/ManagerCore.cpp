#include "SocketIO/Client/ManagerCore.h"

#include <algorithm>
#include <iterator>
#include <random>
#include <utility>

#include <boost/asio/post.hpp>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/Console.h"
#include "SocketIO/Engine/EnginePacket.h"
#include "SocketIO/SocketIOClient.h"

namespace socketio::detail {
namespace {

namespace asio = boost::asio;
using boost::system::error_code;

// From the first byte out to the server's open packet.
constexpr std::chrono::seconds kOpenTimeout{20};
// Destruction gives the close handshake this long before cutting the connection.
constexpr std::chrono::milliseconds kShutdownCloseTimeout{1000};
// The largest message read, and the most that the attachments of one packet may hold.
constexpr std::size_t kMaxMessageBytes = 64 * 1024 * 1024;
// Events a namespace keeps while its CONNECT answer is outstanding; a server sends a few.
constexpr std::size_t kMaxEarlyEvents = 1000;

std::string_view packetName(SocketPacketType type) {
  switch (type) {
    case SocketPacketType::connect:
      return "CONNECT";
    case SocketPacketType::disconnect:
      return "DISCONNECT";
    case SocketPacketType::event:
    case SocketPacketType::binaryEvent:
      return "EVENT";
    case SocketPacketType::ack:
    case SocketPacketType::binaryAck:
      return "ACK";
    case SocketPacketType::connectError:
      return "CONNECT_ERROR";
  }
  return "packet";
}

std::vector<SocketData> takeItems(SocketData& array, std::size_t skip) {
  std::vector<SocketData> items;
  if (!array.is_array()) return items;
  auto& elements = array.get_ref<SocketData::array_t&>();
  if (elements.size() <= skip) return items;
  items.reserve(elements.size() - skip);
  std::move(elements.begin() + static_cast<std::ptrdiff_t>(skip), elements.end(),
            std::back_inserter(items));
  return items;
}

std::chrono::milliseconds reconnectDelay(const ManagerSettings& settings, int attempt) {
  thread_local std::minstd_rand random{std::random_device{}()};
  double delay = static_cast<double>(settings.reconnectWait.count());
  const double ceiling = static_cast<double>(settings.reconnectWaitMax.count());
  for (int i = 0; i < attempt && delay < ceiling; ++i) delay *= 2;
  delay = std::min(delay, ceiling);
  // Spread clients that lost the same server, up to half the delay either way.
  std::uniform_real_distribution<double> spread(0.5, 1.5);
  return std::chrono::milliseconds(static_cast<std::int64_t>(delay * spread(random)));
}

}  // namespace

std::shared_ptr<ManagerCore> ManagerCore::make(boost::asio::io_context& io,
                                               ManagerSettings settings,
                                               std::shared_ptr<std::atomic<SocketIOStatus>> status,
                                               std::shared_ptr<SendBudget> budget) {
  return std::shared_ptr<ManagerCore>(
      new ManagerCore(io, std::move(settings), std::move(status), std::move(budget)));
}

ManagerCore::ManagerCore(boost::asio::io_context& io, ManagerSettings settings,
                         std::shared_ptr<std::atomic<SocketIOStatus>> status,
                         std::shared_ptr<SendBudget> budget)
    : strand_(io.get_executor()),
      settings_(std::move(settings)),
      status_(std::move(status)),
      budget_(std::move(budget)),
      openTimer_(strand_),
      heartbeatTimer_(strand_),
      pongTimer_(strand_),
      reconnectTimer_(strand_),
      shutdownTimer_(strand_) {
}

ManagerCore::~ManagerCore() {
  // Only reached once no handler of the I/O thread holds the core any more.
  if (transport_) transport_->abort();
}

// MARK: - Calls from the manager

void ManagerCore::addSocket(const std::string& nsp, std::weak_ptr<SocketIOClient> client,
                            std::shared_ptr<SocketState> state) {
  auto& space = namespaces_[nsp];
  space.client = std::move(client);
  space.state = std::move(state);
}

void ManagerCore::connectSocket(const std::string& nsp, std::optional<SocketData> payload) {
  if (shutdown_) return;
  const auto found = namespaces_.find(nsp);
  if (found == namespaces_.end()) return;
  auto& space = found->second;
  if (active(space.status)) {
    log("socket " + nsp + " is already " + std::string(description(space.status)));
    return;
  }
  space.connectPayload = std::move(payload);
  setStatus(space, SocketIOStatus::connecting);
  switch (engine_) {
    case EngineState::open:
      sendConnect(nsp, space);
      break;
    case EngineState::opening:
      break;  // joins once the open packet is in
    case EngineState::closed:
      // Asked for now, so the next reconnect attempt is not waited for.
      reconnectTimer_.cancel();
      openEngine();
      break;
  }
}

void ManagerCore::disconnectSocket(const std::string& nsp) {
  if (shutdown_) return;
  const auto found = namespaces_.find(nsp);
  if (found == namespaces_.end() || !active(found->second.status)) return;
  sendDisconnect(nsp);
  didDisconnect(nsp, found->second, "io client disconnect");
  closeEngineWhenIdle();
}

void ManagerCore::connectManager() {
  if (shutdown_ || engine_ != EngineState::closed) return;
  reconnectTimer_.cancel();
  openEngine();
}

void ManagerCore::disconnectManager() {
  if (shutdown_) return;
  for (auto& [nsp, space] : namespaces_) {
    if (!active(space.status)) continue;
    sendDisconnect(nsp);
    didDisconnect(nsp, space, "io client disconnect");
  }
  closeEngine();
}

void ManagerCore::emit(const std::string& nsp, EncodedSocketPacket packet,
                       SendBudget::Reservation bytes, EmitCompletion completion,
                       std::optional<std::uint64_t> ackID, std::chrono::milliseconds ackTimeout,
                       AckCompletion ack) {
  const auto found = namespaces_.find(nsp);
  if (shutdown_ || found == namespaces_.end() ||
      found->second.status != SocketIOStatus::connected || engine_ != EngineState::open) {
    log("not connected: emit on " + nsp + " dropped");
    completion(std::unexpected(SocketIOError::notConnected));
    ack(std::unexpected(SocketIOError::notConnected));
    return;
  }
  if (!fitsMaxPayload(packet)) {
    log("emit on " + nsp + " dropped: larger than the server's maxPayload");
    completion(std::unexpected(SocketIOError::payloadTooLarge));
    ack(std::unexpected(SocketIOError::payloadTooLarge));
    return;
  }
  auto& space = found->second;
  if (ackID) {
    AckWaiter waiter{std::move(ack), nullptr};
    if (ackTimeout > std::chrono::milliseconds::zero()) {
      waiter.timer = std::make_unique<asio::steady_timer>(strand_, ackTimeout);
      waiter.timer->async_wait([weak = weak_from_this(), nsp, id = *ackID](error_code ec) {
        if (ec == asio::error::operation_aborted) return;  // answered, failed or destroyed
        auto self = weak.lock();
        if (!self) return;
        const auto space = self->namespaces_.find(nsp);
        if (space == self->namespaces_.end()) return;
        auto waiter = space->second.acks.extract(id);
        if (waiter.empty()) return;
        waiter.mapped().completion(std::unexpected(SocketIOError::ackTimeout));
      });
    }
    space.acks.insert_or_assign(*ackID, std::move(waiter));
  }
  Transport::WriteDone done;
  if (completion) {
    done = [completion = std::move(completion)](bool written) mutable {
      if (written) {
        completion({});
      } else {
        completion(std::unexpected(SocketIOError::disconnected));
      }
    };
  }
  sendPacket(std::move(packet), std::move(done), bytes.handOver());
}

void ManagerCore::sendAck(const std::string& nsp, EncodedSocketPacket packet,
                          SendBudget::Reservation bytes) {
  const auto found = namespaces_.find(nsp);
  if (shutdown_ || found == namespaces_.end() ||
      found->second.status != SocketIOStatus::connected || engine_ != EngineState::open) {
    log("not connected: acknowledgement on " + nsp + " dropped");
    return;
  }
  if (!fitsMaxPayload(packet)) {
    log("acknowledgement on " + nsp + " dropped: larger than the server's maxPayload");
    return;
  }
  sendPacket(std::move(packet), nullptr, bytes.handOver());
}

void ManagerCore::shutdown() {
  if (shutdown_) return;
  shutdown_ = true;
  for (auto& [nsp, space] : namespaces_) {
    failAcks(space, SocketIOError::cancelled);
    if (active(space.status)) sendDisconnect(nsp);
    space.status = SocketIOStatus::disconnected;
    if (space.state) space.state->setStatus(SocketIOStatus::disconnected);
  }
  reconnectTimer_.cancel();
  endConnection(TransportEnd::close);
  setManagerStatus(SocketIOStatus::disconnected);
  if (closing_ > 0) {
    // A bounded close: the timer cuts servers that do not answer; the last close to finish
    // cancels it, so that the I/O thread runs out of work at once.
    shutdownTimer_.expires_after(kShutdownCloseTimeout);
    shutdownTimer_.async_wait([weak = weak_from_this()](error_code ec) {
      if (ec == asio::error::operation_aborted) return;
      auto self = weak.lock();
      if (!self) return;
      for (const auto& closing : std::exchange(self->closingTransports_, {})) {
        if (auto transport = closing.lock()) transport->abort();
      }
    });
  }
}

// MARK: - The engine

void ManagerCore::openEngine() {
  engine_ = EngineState::opening;
  setManagerStatus(SocketIOStatus::connecting);
  ++generation_;
  pendingBinary_.reset();
  const auto generation = generation_;
  const auto weak = weak_from_this();

  if (!settings_.problem.empty()) {
    asio::post(strand_, [weak, generation, problem = settings_.problem] {
      if (auto self = weak.lock()) self->onTransportClosed(generation, {false, false, problem});
    });
    return;
  }

  TransportTarget target{settings_.host,         settings_.port,   settings_.secure,
                         settings_.hostHeader(), settings_.target, settings_.extraHeaders,
                         settings_.compress,     kMaxMessageBytes};
  Transport::Events events;
  events.opened = [weak, generation] {
    if (auto self = weak.lock()) self->onTransportOpened(generation);
  };
  events.received = [weak, generation](std::string frame, bool binary) {
    if (auto self = weak.lock()) self->onFrame(generation, std::move(frame), binary);
  };
  events.closed = [weak, generation](Transport::Closure closure) {
    if (auto self = weak.lock()) self->onTransportClosed(generation, std::move(closure));
  };
  log("connecting to " + std::string(settings_.secure ? "wss://" : "ws://") +
      settings_.hostHeader() + settings_.target);
  transport_ = Transport::make(strand_, std::move(target), std::move(events), budget_);
  transport_->open();

  openTimer_.expires_after(kOpenTimeout);
  openTimer_.async_wait([weak, generation](error_code ec) {
    if (ec == asio::error::operation_aborted) return;
    auto self = weak.lock();
    if (!self || self->generation_ != generation || self->engine_ != EngineState::opening) return;
    self->engineLost("transport error", "could not connect: no open packet in time");
  });
}

void ManagerCore::closeEngine() {
  reconnectTimer_.cancel();
  reconnecting_ = false;
  attempt_ = 0;
  if (engine_ != EngineState::closed) {
    // The transport writes what is queued (a last DISCONNECT), then closes.
    endConnection(TransportEnd::close);
    log("connection closed");
  }
  setManagerStatus(SocketIOStatus::disconnected);
}

void ManagerCore::endConnection(TransportEnd how) {
  engine_ = EngineState::closed;
  ++generation_;
  openTimer_.cancel();
  heartbeatTimer_.cancel();
  pongTimer_.cancel();
  pendingBinary_.reset();
  auto transport = std::exchange(transport_, nullptr);
  if (!transport) return;
  if (how == TransportEnd::close) {
    closeTransport(std::move(transport));
  } else {
    transport->abort();
  }
}

void ManagerCore::closeTransport(std::shared_ptr<Transport> transport) {
  ++closing_;
  closingTransports_.push_back(transport);
  transport->close([weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self || self->closing_ == 0) return;
    if (--self->closing_ > 0) return;
    self->closingTransports_.clear();
    self->shutdownTimer_.cancel();
  });
}

void ManagerCore::onTransportOpened(std::uint64_t generation) {
  if (generation != generation_) return;
  log("WebSocket open, waiting for the open packet");
}

void ManagerCore::onFrame(std::uint64_t generation, std::string frame, bool binary) {
  if (generation != generation_ || engine_ == EngineState::closed) return;
  const auto packet = decodeEnginePacket(frame, binary, settings_.protocol());
  if (!packet) return protocolError(std::string(description(packet.error())));
  const bool v3 = settings_.protocol() == EngineProtocol::v3;
  switch (packet->type) {
    case EnginePacketType::open:
      if (engine_ != EngineState::opening) return protocolError("a second open packet");
      onOpenPacket(packet->data);
      break;
    case EnginePacketType::close:
      engineLost("transport close", std::nullopt);
      break;
    case EnginePacketType::ping:
      if (engine_ != EngineState::open || v3) return;
      sendEngineText(encodeEngineText(EnginePacketType::pong, packet->data));
      fireToActive(SocketClientEvent::ping, {});
      fireToActive(SocketClientEvent::pong, {});
      armServerHeartbeat();
      break;
    case EnginePacketType::pong:
      if (engine_ != EngineState::open || !v3) return;
      pongTimer_.cancel();
      fireToActive(SocketClientEvent::pong, {});
      armTimer(heartbeatTimer_, handshake_.pingInterval, &ManagerCore::sendClientPing);
      break;
    case EnginePacketType::message:
      if (engine_ != EngineState::open) return protocolError("a message before the open packet");
      if (packet->binary) {
        onAttachment(packet->data);
      } else {
        onSocketText(packet->data);
      }
      break;
    case EnginePacketType::upgrade:
    case EnginePacketType::noop:
      break;
  }
}

void ManagerCore::onOpenPacket(std::string_view data) {
  auto handshake = parseEngineHandshake(data);
  if (!handshake) return protocolError(std::string(description(handshake.error())));
  handshake_ = std::move(*handshake);
  engine_ = EngineState::open;
  openTimer_.cancel();
  log("open: sid " + handshake_.sid + ", ping every " +
      std::to_string(handshake_.pingInterval.count()) + " ms, timeout " +
      std::to_string(handshake_.pingTimeout.count()) + " ms" + ", max payload " +
      std::to_string(handshake_.maxPayload));
  setManagerStatus(SocketIOStatus::connected);
  reconnecting_ = false;
  attempt_ = 0;
  startHeartbeat();
  const bool v3 = settings_.protocol() == EngineProtocol::v3;
  for (auto& [nsp, space] : namespaces_) {
    if (space.status != SocketIOStatus::connecting) continue;
    if (v3 && nsp == "/") continue;  // a Socket.IO 2 server joins it by itself
    sendConnect(nsp, space);
  }
}

void ManagerCore::onTransportClosed(std::uint64_t generation, Transport::Closure closure) {
  if (generation != generation_) return;
  transport_.reset();
  log("transport ended: " + closure.message);
  if (!closure.opened || engine_ == EngineState::opening) {
    engineLost("transport error", "could not connect: " + closure.message);
  } else {
    engineLost("transport close", std::nullopt);
  }
}

void ManagerCore::engineLost(const std::string& reason, const std::optional<std::string>& error) {
  if (engine_ == EngineState::closed) return;
  endConnection(TransportEnd::abort);
  log("connection lost: " + reason + (error ? " (" + *error + ")" : ""));
  if (shutdown_) return;
  if (error) fireToActive(SocketClientEvent::error, {*error});
  for (auto& [nsp, space] : namespaces_) dropEarlyEvents(nsp, space, "the connection was lost");

  if (settings_.reconnects && anyActive()) {
    if (!reconnecting_) {
      reconnecting_ = true;
      attempt_ = 0;
      for (auto& [nsp, space] : namespaces_) {
        if (!active(space.status)) continue;
        failAcks(space, SocketIOError::disconnected);
        space.state->setSid({});
        setStatus(space, SocketIOStatus::connecting);
        fireClientEvent(space, SocketClientEvent::reconnect, {reason});
      }
    }
    setManagerStatus(SocketIOStatus::connecting);
    scheduleReconnect();
    return;
  }
  reconnecting_ = false;
  setManagerStatus(SocketIOStatus::disconnected);
  for (auto& [nsp, space] : namespaces_) {
    if (active(space.status)) didDisconnect(nsp, space, reason);
  }
}

void ManagerCore::protocolError(const std::string& what) {
  engineLost("parse error", "protocol error: " + what);
}

void ManagerCore::scheduleReconnect() {
  if (settings_.reconnectAttempts >= 0 && attempt_ >= settings_.reconnectAttempts) {
    reconnecting_ = false;
    setManagerStatus(SocketIOStatus::disconnected);
    for (auto& [nsp, space] : namespaces_) {
      if (active(space.status)) didDisconnect(nsp, space, "reconnect failed");
    }
    return;
  }
  const auto delay = reconnectDelay(settings_, attempt_);
  ++attempt_;
  log("reconnecting in " + std::to_string(delay.count()) + " ms (attempt " +
      std::to_string(attempt_) + ")");
  reconnectTimer_.expires_after(delay);
  reconnectTimer_.async_wait([weak = weak_from_this()](error_code ec) {
    if (ec == asio::error::operation_aborted) return;
    auto self = weak.lock();
    if (!self || !self->reconnecting_ || self->shutdown_ || self->engine_ != EngineState::closed) {
      return;
    }
    const int attempts = self->settings_.reconnectAttempts;
    self->fireToActive(SocketClientEvent::reconnectAttempt,
                       {attempts < 0 ? -1 : attempts - self->attempt_});
    self->openEngine();
  });
}

void ManagerCore::startHeartbeat() {
  if (settings_.protocol() == EngineProtocol::v4) {
    armServerHeartbeat();
  } else {
    armTimer(heartbeatTimer_, handshake_.pingInterval, &ManagerCore::sendClientPing);
  }
}

// Engine.IO 4: the server pings every pingInterval; silence for pingInterval + pingTimeout
// means it is gone.
void ManagerCore::armServerHeartbeat() {
  armTimer(heartbeatTimer_, handshake_.pingInterval + handshake_.pingTimeout,
           &ManagerCore::heartbeatLost);
}

// Engine.IO 3: we ping; a pong must come within pingTimeout, and the next ping follows
// pingInterval after it.
void ManagerCore::sendClientPing() {
  if (engine_ != EngineState::open) return;
  sendEngineText(encodeEngineText(EnginePacketType::ping));
  fireToActive(SocketClientEvent::ping, {});
  armTimer(pongTimer_, handshake_.pingTimeout, &ManagerCore::heartbeatLost);
}

void ManagerCore::heartbeatLost() {
  engineLost("ping timeout", std::nullopt);
}

void ManagerCore::armTimer(asio::steady_timer& timer, std::chrono::milliseconds delay,
                           void (ManagerCore::*then)()) {
  timer.expires_after(delay);
  timer.async_wait([weak = weak_from_this(), generation = generation_, then](error_code ec) {
    if (ec == asio::error::operation_aborted) return;
    auto self = weak.lock();
    if (self && self->generation_ == generation) ((*self).*then)();
  });
}

void ManagerCore::sendEngineText(std::string frame) {
  if (transport_) transport_->send({std::move(frame), false, nullptr, {}, 0});
}

bool ManagerCore::fitsMaxPayload(const EncodedSocketPacket& packet) const {
  const std::size_t limit = handshake_.maxPayload;
  const std::size_t lead = engineMessageLead(true, settings_.protocol()).size();
  if (packet.text.size() + 1 > limit) return false;
  return std::ranges::all_of(
      packet.attachments, [&](const SocketBytes& bytes) { return bytes.size() + lead <= limit; });
}

void ManagerCore::sendPacket(EncodedSocketPacket packet, Transport::WriteDone done,
                             std::size_t budgeted) {
  if (!transport_) {
    budget_->release(budgeted);
    if (done) done(false);
    return;
  }
  const std::size_t count = packet.attachments.size();
  const std::size_t textBytes = packet.text.size();
  transport_->send({std::move(packet.text), false, count == 0 ? std::move(done) : nullptr,
                    engineMessageLead(false, settings_.protocol()),
                    count == 0 ? budgeted : textBytes});
  for (std::size_t i = 0; i < count; ++i) {
    const auto& bytes = packet.attachments[i];
    transport_->send({std::string(bytes.begin(), bytes.end()), true,
                      i + 1 == count ? std::move(done) : nullptr,
                      engineMessageLead(true, settings_.protocol()), bytes.size()});
  }
}

void ManagerCore::sendDisconnect(const std::string& nsp) {
  if (engine_ != EngineState::open) return;
  if (auto packet = encodeSocketPacket({SocketPacketType::disconnect, nsp, {}, 0, {}})) {
    sendPacket(std::move(*packet), nullptr);
  }
}

void ManagerCore::setManagerStatus(SocketIOStatus status) {
  status_->store(status);
}

// MARK: - Socket.IO packets

void ManagerCore::onSocketText(std::string_view text) {
  if (pendingBinary_) return protocolError("a text packet while attachments were due");
  // A packet whose head cannot be read leaves us unsure what follows it; one whose payload
  // cannot be read is stepped over, with its attachments.
  auto head = decodeSocketPacketHead(text);
  if (!head) return protocolError(std::string(description(head.error())));
  auto& packet = head->packet;
  std::optional<SocketPacketError> unreadable;
  if (auto read = decodeSocketPayload(packet, head->payload); !read) unreadable = read.error();
  if (packet.attachments > 0) {
    pendingBinary_.emplace(PendingBinary{std::move(packet), {}, 0, 0, unreadable});
    return;
  }
  if (unreadable) return unreadablePacket(packet, *unreadable);
  if (packet.type == SocketPacketType::binaryEvent || packet.type == SocketPacketType::binaryAck) {
    if (auto put = reconstructBinary(packet, {}); !put)
      return unreadablePacket(packet, put.error());
  }
  handlePacket(std::move(packet));
}

void ManagerCore::onAttachment(std::string_view bytes) {
  if (!pendingBinary_) return protocolError("an attachment without a binary packet");
  auto& pending = *pendingBinary_;
  pending.bytes += bytes.size();
  if (pending.bytes > kMaxMessageBytes) return protocolError("attachments too large");
  if (!pending.unreadable) pending.attachments.emplace_back(bytes.begin(), bytes.end());
  if (++pending.taken < pending.packet.attachments) return;
  auto finished = std::move(pending);
  pendingBinary_.reset();
  if (finished.unreadable) return unreadablePacket(finished.packet, *finished.unreadable);
  if (auto put = reconstructBinary(finished.packet, std::move(finished.attachments)); !put) {
    return unreadablePacket(finished.packet, put.error());
  }
  handlePacket(std::move(finished.packet));
}

void ManagerCore::unreadablePacket(const SocketPacket& packet, SocketPacketError error) {
  std::string what = "unreadable " + std::string(packetName(packet.type)) + " packet on " +
                     packet.nsp + (packet.id ? " (id " + std::to_string(*packet.id) + ")" : "") +
                     " dropped: " + std::string(description(error));
  log(what);
  const auto found = namespaces_.find(packet.nsp);
  if (found == namespaces_.end()) return;
  auto& space = found->second;
  if (packet.id &&
      (packet.type == SocketPacketType::ack || packet.type == SocketPacketType::binaryAck)) {
    if (auto waiter = space.acks.extract(*packet.id); !waiter.empty()) {
      waiter.mapped().completion(std::unexpected(SocketIOError::invalidData));
    }
  }
  if (active(space.status)) fireClientEvent(space, SocketClientEvent::error, {std::move(what)});
  // An answer to our CONNECT that cannot be read ends the wait for one.
  const bool answer =
      packet.type == SocketPacketType::connect || packet.type == SocketPacketType::connectError;
  if (answer && space.status == SocketIOStatus::connecting) {
    dropEarlyEvents(packet.nsp, space, "its CONNECT answer could not be read");
    setStatus(space, SocketIOStatus::disconnected);
    closeEngineWhenIdle();
  }
}

void ManagerCore::handlePacket(SocketPacket packet) {
  const auto found = namespaces_.find(packet.nsp);
  if (found == namespaces_.end()) {
    log(std::string(packetName(packet.type)) + " for namespace " + packet.nsp +
        ", which has no socket, dropped");
    return;
  }
  const std::string& nsp = found->first;
  auto& space = found->second;
  switch (packet.type) {
    case SocketPacketType::connect:
      if (space.status != SocketIOStatus::connecting) {
        log("CONNECT for " + nsp + ", which is not connecting, ignored");
        return;
      }
      didConnect(nsp, space, packet.data);
      for (auto& early : std::exchange(space.early, {})) handleEvent(nsp, space, std::move(early));
      break;
    case SocketPacketType::disconnect:
      if (!active(space.status)) return;
      didDisconnect(nsp, space,
                    packet.data.is_null()     ? "io server disconnect"
                    : packet.data.is_string() ? packet.data.get<std::string>()
                                              : packet.data.dump());
      closeEngineWhenIdle();
      break;
    case SocketPacketType::event:
    case SocketPacketType::binaryEvent:
      handleEvent(nsp, space, std::move(packet));
      break;
    case SocketPacketType::ack:
    case SocketPacketType::binaryAck:
      handleAck(nsp, space, std::move(packet));
      break;
    case SocketPacketType::connectError:
      if (space.status != SocketIOStatus::connecting) return;
      log("namespace " + nsp + " refused: " + packet.data.dump());
      dropEarlyEvents(nsp, space, "the namespace refused us");
      setStatus(space, SocketIOStatus::disconnected);
      fireClientEvent(space, SocketClientEvent::error, {std::move(packet.data)});
      closeEngineWhenIdle();
      break;
  }
}

void ManagerCore::handleEvent(const std::string& nsp, Namespace& space, SocketPacket packet) {
  // Servers often greet from the namespace's connect handler, before answering CONNECT.
  if (space.status == SocketIOStatus::connecting) {
    if (space.early.size() < kMaxEarlyEvents) {
      space.early.push_back(std::move(packet));
    } else {
      log("event on " + nsp + " before its CONNECT answer dropped: too many came first");
    }
    return;
  }
  if (space.status != SocketIOStatus::connected) {
    log("event on " + nsp + ", which is not connected, dropped");
    return;
  }
  auto& name = packet.data.front();
  std::string event = name.is_string() ? name.get<std::string>() : name.dump();
  fireEvent(space, std::move(event), takeItems(packet.data, 1), packet.id);
}

void ManagerCore::handleAck(const std::string& nsp, Namespace& space, SocketPacket packet) {
  auto waiter = packet.id ? space.acks.extract(*packet.id) : decltype(space.acks)::node_type{};
  if (waiter.empty()) {
    log("acknowledgement on " + nsp + " that nothing waits for dropped");
    return;
  }
  waiter.mapped().completion(takeItems(packet.data, 0));
}

void ManagerCore::dropEarlyEvents(const std::string& nsp, Namespace& space, std::string_view why) {
  if (space.early.empty()) return;
  log(std::to_string(space.early.size()) + " event(s) on " + nsp +
      " sent before its CONNECT answer dropped: " + std::string(why));
  space.early.clear();
}

void ManagerCore::sendConnect(const std::string& nsp, Namespace& space) {
  SocketPacket packet{SocketPacketType::connect, nsp, {}, 0, {}};
  // Socket.IO 2 has no auth payload.
  if (settings_.protocol() == EngineProtocol::v4 && space.connectPayload &&
      space.connectPayload->is_object()) {
    packet.data = *space.connectPayload;
  }
  auto encoded = encodeSocketPacket(std::move(packet));
  if (!encoded) {
    log("connect payload of " + nsp + " has no JSON text; connecting without it");
    encoded = encodeSocketPacket({SocketPacketType::connect, nsp, {}, 0, {}});
  }
  if (encoded) sendPacket(std::move(*encoded), nullptr);
}

void ManagerCore::didConnect(const std::string& nsp, Namespace& space, const SocketData& payload) {
  std::string sid;
  if (payload.is_object() && payload.contains("sid") && payload["sid"].is_string()) {
    sid = payload["sid"].get<std::string>();
  } else if (settings_.protocol() == EngineProtocol::v3) {
    sid = nsp == "/" ? handshake_.sid : nsp + "#" + handshake_.sid;
  }
  space.state->setSid(sid);
  log("connected to " + nsp + (sid.empty() ? "" : " as " + sid));
  setStatus(space, SocketIOStatus::connected);
  fireClientEvent(space, SocketClientEvent::connect,
                  {nsp, payload.is_object() ? payload : SocketData::object()});
}

void ManagerCore::didDisconnect(const std::string& nsp, Namespace& space,
                                const std::string& reason) {
  log("disconnected from " + nsp + ": " + reason);
  dropEarlyEvents(nsp, space, "disconnected");
  failAcks(space, SocketIOError::disconnected);
  space.state->setSid({});
  setStatus(space, SocketIOStatus::disconnected);
  fireClientEvent(space, SocketClientEvent::disconnect, {reason});
}

void ManagerCore::failAcks(Namespace& space, SocketIOError error) {
  auto acks = std::exchange(space.acks, {});
  for (auto& [id, waiter] : acks) waiter.completion(std::unexpected(error));
}

void ManagerCore::setStatus(Namespace& space, SocketIOStatus status) {
  if (space.status == status) return;
  space.status = status;
  space.state->setStatus(status);
  fireClientEvent(space, SocketClientEvent::statusChange,
                  {std::string(description(status)), rawValue(status)});
}

bool ManagerCore::anyActive() const {
  return std::ranges::any_of(namespaces_,
                             [](const auto& entry) { return active(entry.second.status); });
}

void ManagerCore::closeEngineWhenIdle() {
  if (!anyActive()) closeEngine();
}

// MARK: - Handlers

void ManagerCore::fireClientEvent(Namespace& space, SocketClientEvent event,
                                  std::vector<SocketData> data) {
  if (shutdown_) return;
  settings_.handleQueue->async(
      [client = space.client, state = space.state, event, data = std::move(data)] {
        if (state->detached()) return;
        if (auto socket = client.lock()) socket->handleClientEvent(event, data);
      });
}

void ManagerCore::fireToActive(SocketClientEvent event, const std::vector<SocketData>& data) {
  for (auto& [nsp, space] : namespaces_) {
    if (active(space.status)) fireClientEvent(space, event, data);
  }
}

void ManagerCore::fireEvent(Namespace& space, std::string event, std::vector<SocketData> items,
                            std::optional<std::uint64_t> ackID) {
  if (shutdown_) return;
  settings_.handleQueue->async([client = space.client, state = space.state,
                                event = std::move(event), items = std::move(items), ackID] {
    if (state->detached()) return;
    if (auto socket = client.lock()) socket->handleEvent(event, items, ackID);
  });
}

void ManagerCore::log(const std::string& message) const {
  if (settings_.log) platform::Console::print("SocketIO: " + message);
}

}  // namespace socketio::detail
