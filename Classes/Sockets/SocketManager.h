#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "Platform/Foundation/URL.h"
#include "SocketIO/SocketClientEvent.h"
#include "SocketIO/SocketData.h"

namespace socketio {
class SocketIOClient;
class SocketManager;
}  // namespace socketio

namespace brelum {

// The framework's socket: one Socket.IO library manager for the socket endpoint that app
// verification returned, whose default socket it connects with a reconnect of its own 1.0 s
// after every disconnect, and through which the host subscribes to events and emits them.
//
// Threads: no locks; host calls run on the caller's thread, handlers where the library
// delivers them (its handle queue: the main queue), and the reconnect step always on the
// main queue. Disconnect handlers and reconnect steps hold the wrapper weakly: dropped, it
// reconnects no more.
class SocketManager : public std::enable_shared_from_this<SocketManager> {
 public:
  // Which kind of subscription: one-shot (`Once`) or lasting (`On`), for a named event.
  struct Once {
    std::string event;
  };
  struct On {
    std::string event;
  };

  // Options forceWebsockets(true), reconnects(false), secure(!debug), log(verbose). Nothing
  // connects yet.
  [[nodiscard]] static std::shared_ptr<SocketManager> make(const platform::URL& url, bool verbose,
                                                           bool debug);

  // Stops reconnecting, disconnects the socket, then releases the library manager.
  virtual ~SocketManager();
  SocketManager(const SocketManager&) = delete;
  SocketManager& operator=(const SocketManager&) = delete;

 private:
  // The library manager's default socket, fetched afresh on every use.
  [[nodiscard]] virtual std::shared_ptr<socketio::SocketIOClient> socket() const;

 public:
  // Given to the library's log option at creation; changing it later changes nothing there.
  [[nodiscard]] virtual bool verbose() const;
  virtual void setVerbose(bool verbose);

 private:
  [[nodiscard]] virtual bool shouldReconnect() const;
  virtual void setShouldReconnect(bool shouldReconnect);
  // Kept for the wrapper's shape; nothing reads or writes it after creation.
  [[nodiscard]] virtual std::function<void(bool)> onConnectCallback() const;
  virtual void setOnConnectCallback(std::function<void(bool)> callback);

 public:
  // Connects the socket. Each call adds one one-shot connect handler (calling `callback` with
  // true) and one lasting disconnect handler (scheduling a reconnect), so after k calls a
  // disconnect schedules k reconnects. Failures are never reported through `callback`.
  virtual void connect(std::function<void(bool)> callback);
  // Stops reconnecting, then disconnects. A reconnect already scheduled still runs.
  virtual void disconnect();

  // One-shot handler for a named event; the callback gets nothing.
  virtual void subscribe(Once once, std::function<void()> callback);
  // One-shot handler delivering the event's first item as `T` (see socketio::itemAs); an
  // event without items, or whose first item is no `T`, is skipped without notice (and
  // still uses up the handler).
  template <typename T>
  void subscribe(Once once, std::function<void(T)> callback) {
    subscribeFirstItem(std::move(once.event), true, deliverAs<T>(std::move(callback)));
  }
  // Lasting handler for a named event; the callback gets nothing.
  virtual void subscribe(On on, std::function<void()> callback);
  // Lasting handler delivering the first item as `T`, skipping events without one.
  template <typename T>
  void subscribe(On on, std::function<void(T)> callback) {
    subscribeFirstItem(std::move(on.event), false, deliverAs<T>(std::move(callback)));
  }
  // Lasting handler for one of the library's client events; the callback gets nothing.
  virtual void subscribe(socketio::SocketClientEvent on, std::function<void()> callback);

  // Emits `event` with exactly one item, `params`, and an empty completion.
  virtual void emit(const std::string& event, socketio::SocketData params);

 protected:
  SocketManager(const platform::URL& url, bool verbose, bool debug);

 private:
  using ItemHandler = std::function<void(const socketio::SocketData& firstItem)>;

  template <typename T>
  static ItemHandler deliverAs(std::function<void(T)> callback) {
    return [callback = std::move(callback)](const socketio::SocketData& item) {
      if (auto value = socketio::itemAs<T>(item)) {
        if (callback) callback(std::move(*value));
      }
    };
  }

  // The handlers the library returns identifiers for are dropped: the wrapper offers no
  // way to remove them.
  void subscribeFirstItem(std::string event, bool once, ItemHandler deliver);

  const std::shared_ptr<socketio::SocketManager> manager_;
  bool verbose_;
  // Read by handlers on the library's queue, written by the host.
  std::atomic<bool> shouldReconnect_{true};
  std::function<void(bool)> onConnectCallback_;
};

}  // namespace brelum
