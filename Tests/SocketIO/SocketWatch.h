#pragma once

#include <chrono>
#include <cstddef>
#include <expected>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SocketIO/SocketClientEvent.h"
#include "SocketIO/SocketData.h"
#include "SocketIO/SocketIOClient.h"
#include "SocketIO/SocketIOClientOption.h"
#include "SocketIO/SocketManager.h"
#include "Tests/Support/Backend.h"

namespace sockettest {

using Items = std::vector<socketio::SocketData>;

// Everything one socket reports, recorded by handlers that run on the main queue (each
// counts in offMainQueue when it does not): its named events under their names, its client
// events under key(event). Read it from the main thread.
class SocketWatch {
 public:
  using Event = socketio::SocketClientEvent;

  // Handlers for every client event and for each named event of `events`.
  static std::shared_ptr<SocketWatch> attach(socketio::SocketIOClient& socket,
                                             const std::vector<std::string>& events = {});
  static std::string key(Event event) { return "@" + std::string(rawValue(event)); }

  [[nodiscard]] std::size_t count(const std::string& event) const;
  [[nodiscard]] std::size_t count(Event event) const { return count(key(event)); }
  // The data of the last such event; empty when there was none.
  [[nodiscard]] Items last(const std::string& event) const;
  [[nodiscard]] Items last(Event event) const { return last(key(event)); }
  // Pumps the main loop until there have been exactly `n` such events (or 10 s have passed).
  [[nodiscard]] bool waitFor(const std::string& event, std::size_t n) const;
  [[nodiscard]] bool waitFor(Event event, std::size_t n) const { return waitFor(key(event), n); }

  std::map<std::string, std::vector<Items>> events;
  int offMainQueue = 0;
};

// A manager for the stand-in's Socket.IO server under its real name; it does not reconnect
// by itself unless `config` says so.
[[nodiscard]] std::shared_ptr<socketio::SocketManager> makeManager(
    socketio::SocketIOClientConfiguration config = {},
    const std::string& url = "https://socket.brelum.io");

// A manager for the scripted server (Tools/routes/socketioScripted.mjs) playing `scenario`.
[[nodiscard]] std::shared_ptr<socketio::SocketManager> makeScriptedManager(
    const std::string& scenario, socketio::SocketIOClientConfiguration config = {});

// Pumps the main loop until `socket` is connected (or 10 s have passed).
[[nodiscard]] bool connectAndWait(socketio::SocketIOClient& socket, const SocketWatch& watch);

// Emits, with an acknowledgement waited for `timeout`, and pumps the main loop for the
// answer; a failure is added unless it comes exactly once, on the main queue.
[[nodiscard]] std::expected<Items, socketio::SocketIOError> ask(
    socketio::SocketIOClient& socket, const std::string& event, Items items,
    std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Emits and pumps the main loop for the completion, held to the same rules.
[[nodiscard]] std::expected<void, socketio::SocketIOError> written(socketio::SocketIOClient& socket,
                                                                   const std::string& event,
                                                                   Items items);

// The server's heartbeat for connections opened from now on.
void setHeartbeat(const testsupport::Backend& backend, int pingIntervalMs, int pingTimeoutMs);

// The Socket.IO server's counts (see Tools/routes/socketio.mjs), or with `path`
// "/__scripted/state" the scripted server's record.
[[nodiscard]] socketio::SocketData serverState(const testsupport::Backend& backend,
                                               const std::string& path = "/__socketio/state");

}  // namespace sockettest
