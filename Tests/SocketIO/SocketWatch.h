#pragma once

#include <chrono>
#include <cstddef>
#include <expected>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SocketIO/SocketClientEvent.h"
#include "SocketIO/SocketData.h"
#include "SocketIO/SocketIOClient.h"
#include "SocketIO/SocketIOClientOption.h"
#include "SocketIO/SocketManager.h"
#include "Tests/Support/Backend.h"

namespace sockettest {

// Everything one socket reports, recorded by handlers that run on the main queue (each
// counts in offMainQueue when it does not). Read it from the main thread.
class SocketWatch {
 public:
  struct Record {
    socketio::SocketClientEvent event;
    std::vector<socketio::SocketData> data;
  };

  // Handlers for every client event and for each named event of `events`.
  static std::shared_ptr<SocketWatch> attach(socketio::SocketIOClient& socket,
                                             const std::vector<std::string>& events = {});

  [[nodiscard]] std::size_t count(socketio::SocketClientEvent event) const;
  [[nodiscard]] std::size_t count(const std::string& event) const;
  // The data of the last such event; empty when there was none.
  [[nodiscard]] std::vector<socketio::SocketData> last(socketio::SocketClientEvent event) const;
  [[nodiscard]] std::vector<socketio::SocketData> last(const std::string& event) const;

  std::vector<Record> clientEvents;
  std::map<std::string, std::vector<std::vector<socketio::SocketData>>> events;
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

// Emits with an acknowledgement and pumps the main loop for the answer.
[[nodiscard]] std::expected<std::vector<socketio::SocketData>, socketio::SocketIOError> ask(
    socketio::SocketIOClient& socket, const std::string& event,
    std::vector<socketio::SocketData> items);

// The server's heartbeat for connections opened from now on.
void setHeartbeat(const testsupport::Backend& backend, int pingIntervalMs, int pingTimeoutMs);

// The Socket.IO server's counts (see Tools/routes/socketio.mjs), or with `path`
// "/__scripted/state" the scripted server's record.
[[nodiscard]] socketio::SocketData serverState(const testsupport::Backend& backend,
                                               const std::string& path = "/__socketio/state");

}  // namespace sockettest
