#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "SocketIO/SocketAckEmitter.h"
#include "SocketIO/SocketClientEvent.h"
#include "SocketIO/SocketData.h"
#include "SocketIO/SocketIOError.h"
#include "SocketIO/SocketIOStatus.h"

namespace platform {
class DispatchQueue;
}

namespace socketio {

class SocketManager;

namespace detail {
class ManagerCore;
class SocketState;
}  // namespace detail

// One namespace of a manager's connection: connect it, handle the events the server emits
// to it and emit events to the server.
//
// Threads: every member may be called from any thread. Handlers and completions run on the
// manager's handle queue (the main queue unless configured), one at a time and in the order
// things happened. A handler may add or remove handlers, emit, disconnect, or drop the last
// reference to the manager; once the manager is gone no handler of its sockets runs again,
// and every pending completion is called with SocketIOError::cancelled.
class SocketIOClient : public std::enable_shared_from_this<SocketIOClient> {
 public:
  using NormalCallback =
      std::function<void(const std::vector<SocketData>& data, const SocketAckEmitter& ack)>;
  // Called once: after the packet was written, or with why it was not.
  using EmitCompletion = std::move_only_function<void(std::expected<void, SocketIOError>)>;
  // Called once: with the acknowledgement's items, or with why none came.
  using AckCallback =
      std::move_only_function<void(std::expected<std::vector<SocketData>, SocketIOError>)>;
  using HandlerID = std::uint64_t;

  ~SocketIOClient();
  SocketIOClient(const SocketIOClient&) = delete;
  SocketIOClient& operator=(const SocketIOClient&) = delete;

  [[nodiscard]] const std::string& nsp() const { return nsp_; }
  [[nodiscard]] SocketIOStatus status() const;
  // The server's id for this socket while connected; empty otherwise.
  [[nodiscard]] std::string sid() const;
  // Nothing once the manager is gone.
  [[nodiscard]] std::shared_ptr<SocketManager> manager() const;

  // Joins the namespace, opening the manager's connection when needed; `payload` (a JSON
  // object) is the server's handshake auth. Does nothing while connecting or connected.
  void connect();
  void connect(SocketData payload);
  // Leaves the namespace; the connection closes once no socket of the manager uses it.
  void disconnect();

  // Handlers for events the server emits, by name; `once` handlers run for one event only.
  HandlerID on(std::string event, NormalCallback callback);
  HandlerID once(std::string event, NormalCallback callback);
  // Handlers for the client's own events.
  HandlerID on(SocketClientEvent event, NormalCallback callback);
  HandlerID once(SocketClientEvent event, NormalCallback callback);
  void off(const std::string& event);
  void off(SocketClientEvent event);
  void off(HandlerID id);
  void removeAllHandlers();

  // Emits `event` with `items`. The completion (when given) runs once the packet is written,
  // or with the reason it was not: not connected, a reserved event name, data without JSON
  // text, a frame over the server's maxPayload, the connection lost first.
  void emit(std::string event, std::vector<SocketData> items, EmitCompletion completion = {});

  // Emits `event` asking for an acknowledgement; `callback` gets its items, or ackTimeout
  // once `timeout` has passed (zero: wait as long as the connection lasts), or the reason
  // the event could not go or the connection ended first.
  void emitWithAck(std::string event, std::vector<SocketData> items,
                   std::chrono::milliseconds timeout, AckCallback callback);

 private:
  friend class SocketManager;
  friend class SocketAckEmitter;
  friend class detail::ManagerCore;

  using Key = std::variant<std::string, SocketClientEvent>;
  struct Handler {
    HandlerID id;
    Key key;
    bool once;
    std::shared_ptr<const NormalCallback> callback;
  };

  SocketIOClient(std::weak_ptr<SocketManager> manager, std::string nsp,
                 std::shared_ptr<detail::SocketState> state,
                 std::shared_ptr<platform::DispatchQueue> handleQueue, bool log);

  HandlerID add(Key key, bool once, NormalCallback callback);
  void dispatch(const Key& key, const std::vector<SocketData>& items, const SocketAckEmitter& ack);
  // On the handle queue, from the manager's core.
  void handleEvent(const std::string& event, const std::vector<SocketData>& items,
                   std::optional<std::uint64_t> ackID);
  void handleClientEvent(SocketClientEvent event, const std::vector<SocketData>& data);
  void sendAck(std::uint64_t ackID, std::vector<SocketData> items);
  void send(std::string event, std::vector<SocketData> items, EmitCompletion completion,
            std::optional<std::chrono::milliseconds> ackTimeout, AckCallback ack);
  void log(const std::string& message) const;

  const std::weak_ptr<SocketManager> manager_;
  const std::string nsp_;
  const std::shared_ptr<detail::SocketState> state_;
  const std::shared_ptr<platform::DispatchQueue> handleQueue_;
  const bool log_;
  std::atomic<std::uint64_t> nextAckID_{0};

  mutable std::mutex mutex_;
  std::vector<Handler> handlers_;
  HandlerID nextHandlerID_ = 1;
};

}  // namespace socketio
