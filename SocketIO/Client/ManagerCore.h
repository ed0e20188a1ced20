#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <expected>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include "SocketIO/Client/Completion.h"
#include "SocketIO/Client/ManagerSettings.h"
#include "SocketIO/Client/SocketState.h"
#include "SocketIO/Engine/EngineHandshake.h"
#include "SocketIO/Engine/SendBudget.h"
#include "SocketIO/Engine/Transport.h"
#include "SocketIO/Parser/SocketPacket.h"
#include "SocketIO/SocketClientEvent.h"
#include "SocketIO/SocketData.h"
#include "SocketIO/SocketIOStatus.h"

namespace socketio {
class SocketIOClient;
}

namespace socketio::detail {

using EmitCompletion = Completion<std::expected<void, SocketIOError>>;
using AckCompletion = Completion<std::expected<std::vector<SocketData>, SocketIOError>>;

// The connection of one manager: the Engine.IO session over its transport, the heartbeat,
// the namespaces and their pending acknowledgements, reconnection.
//
// Strand: everything here runs on strand(): the manager's I/O context, which its one I/O
// thread runs, so that its handlers run one at a time (an implicit strand, without the cost
// of an explicit one on every packet). The manager posts every call. Nothing here calls host code:
// handlers and completions are posted to the handle queue, reaching sockets through weak
// references. Timers and transport events hold the core weakly and carry the generation of the
// connection they belong to, so nothing from an old connection reaches a new one. shutdown() fails
// every pending completion with `cancelled` and closes the connection; the I/O thread then runs out
// of work.
class ManagerCore : public std::enable_shared_from_this<ManagerCore> {
 public:
  using Strand = boost::asio::io_context::executor_type;

  [[nodiscard]] static std::shared_ptr<ManagerCore> make(
      boost::asio::io_context& io, ManagerSettings settings,
      std::shared_ptr<std::atomic<SocketIOStatus>> status, std::shared_ptr<SendBudget> budget);

  ~ManagerCore();
  ManagerCore(const ManagerCore&) = delete;
  ManagerCore& operator=(const ManagerCore&) = delete;

  [[nodiscard]] const Strand& strand() const { return strand_; }

  void addSocket(const std::string& nsp, std::weak_ptr<SocketIOClient> client,
                 std::shared_ptr<SocketState> state);
  void connectSocket(const std::string& nsp, std::optional<SocketData> payload);
  void disconnectSocket(const std::string& nsp);
  void connectManager();
  void disconnectManager();

  // Sends an event (asking for an acknowledgement when `ack` holds a completion). The
  // reservation holds the packet's bytes against the send budget until it is written.
  void emit(const std::string& nsp, EncodedSocketPacket packet, SendBudget::Reservation bytes,
            EmitCompletion completion, std::optional<std::uint64_t> ackID,
            std::chrono::milliseconds ackTimeout, AckCompletion ack);
  void sendAck(const std::string& nsp, EncodedSocketPacket packet, SendBudget::Reservation bytes);

  void shutdown();

 private:
  enum class EngineState { closed, opening, open };

  struct AckWaiter {
    AckCompletion completion;
    std::unique_ptr<boost::asio::steady_timer> timer;
  };

  struct Namespace {
    std::weak_ptr<SocketIOClient> client;
    std::shared_ptr<SocketState> state;
    SocketIOStatus status = SocketIOStatus::notConnected;
    std::optional<SocketData> connectPayload;
    std::map<std::uint64_t, AckWaiter> acks;
    // Events the server sent before answering our CONNECT; delivered after the connect event.
    std::vector<SocketPacket> early;
  };

  struct PendingBinary {
    SocketPacket packet;
    std::vector<SocketBytes> attachments;
    std::size_t taken = 0;
    std::size_t bytes = 0;
    // Set when the packet's payload could not be read: its attachments are taken and dropped.
    std::optional<SocketPacketError> unreadable;
  };

  enum class TransportEnd { close, abort };

  ManagerCore(boost::asio::io_context& io, ManagerSettings settings,
              std::shared_ptr<std::atomic<SocketIOStatus>> status,
              std::shared_ptr<SendBudget> budget);

  // The engine.
  void openEngine();
  void closeEngine();
  // Ends the engine's connection, whichever way it ends: its timers, a half-received binary
  // packet, and its transport, closed properly or cut.
  void endConnection(TransportEnd how);
  // Closes a transport properly, keeping track of it until it has closed so that shutdown()
  // can cut it short.
  void closeTransport(std::shared_ptr<Transport> transport);
  void onTransportOpened(std::uint64_t generation);
  void onFrame(std::uint64_t generation, std::string frame, bool binary);
  void onTransportClosed(std::uint64_t generation, Transport::Closure closure);
  void onOpenPacket(std::string_view data);
  void engineLost(const std::string& reason, const std::optional<std::string>& error);
  void protocolError(const std::string& what);
  void scheduleReconnect();
  void startHeartbeat();
  void armServerHeartbeat();
  void sendClientPing();
  void heartbeatLost();
  // Runs `then` once `delay` has passed, unless the timer is cancelled or re-armed, or the
  // connection it was armed on has ended.
  void armTimer(boost::asio::steady_timer& timer, std::chrono::milliseconds delay,
                void (ManagerCore::*then)());
  void sendEngineText(std::string frame);
  [[nodiscard]] bool fitsMaxPayload(const EncodedSocketPacket& packet) const;
  // `budgeted`: bytes handed over from the packet's reservation.
  void sendPacket(EncodedSocketPacket packet, Transport::WriteDone done, std::size_t budgeted = 0);
  // Tells the server we leave `nsp`, when the connection is open.
  void sendDisconnect(const std::string& nsp);
  void setManagerStatus(SocketIOStatus status);

  // Socket.IO packets.
  void onSocketText(std::string_view text);
  void onAttachment(std::string_view bytes);
  void handlePacket(SocketPacket packet);
  void handleEvent(const std::string& nsp, Namespace& space, SocketPacket packet);
  void handleAck(const std::string& nsp, Namespace& space, SocketPacket packet);
  // A packet whose payload could not be read: that packet is dropped and named in an error
  // event of its socket; the connection goes on.
  void unreadablePacket(const SocketPacket& packet, SocketPacketError error);
  void dropEarlyEvents(const std::string& nsp, Namespace& space, std::string_view why);
  void sendConnect(const std::string& nsp, Namespace& space);
  void didConnect(const std::string& nsp, Namespace& space, const SocketData& payload);
  void didDisconnect(const std::string& nsp, Namespace& space, const std::string& reason);
  void failAcks(Namespace& space, SocketIOError error);
  void setStatus(Namespace& space, SocketIOStatus status);
  [[nodiscard]] bool anyActive() const;
  void closeEngineWhenIdle();

  // Posting to the handle queue.
  void fireClientEvent(Namespace& space, SocketClientEvent event, std::vector<SocketData> data);
  void fireToActive(SocketClientEvent event, const std::vector<SocketData>& data);
  void fireEvent(Namespace& space, std::string event, std::vector<SocketData> items,
                 std::optional<std::uint64_t> ackID);

  void log(const std::string& message) const;

  Strand strand_;
  const ManagerSettings settings_;
  const std::shared_ptr<std::atomic<SocketIOStatus>> status_;
  const std::shared_ptr<SendBudget> budget_;
  std::map<std::string, Namespace> namespaces_;

  EngineState engine_ = EngineState::closed;
  std::shared_ptr<Transport> transport_;
  std::uint64_t generation_ = 0;
  EngineHandshake handshake_;
  std::optional<PendingBinary> pendingBinary_;
  boost::asio::steady_timer openTimer_;
  boost::asio::steady_timer heartbeatTimer_;
  boost::asio::steady_timer pongTimer_;
  boost::asio::steady_timer reconnectTimer_;
  boost::asio::steady_timer shutdownTimer_;
  std::vector<std::weak_ptr<Transport>> closingTransports_;
  std::size_t closing_ = 0;
  bool reconnecting_ = false;
  int attempt_ = 0;
  bool shutdown_ = false;
};

}  // namespace socketio::detail
