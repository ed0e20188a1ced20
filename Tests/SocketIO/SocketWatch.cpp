#include "Tests/SocketIO/SocketWatch.h"

#include <gtest/gtest.h>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/URL.h"
#include "Tests/Support/MainLoopPump.h"

namespace sockettest {

using socketio::SocketData;
using socketio::SocketIOError;

std::shared_ptr<SocketWatch> SocketWatch::attach(socketio::SocketIOClient& socket,
                                                 const std::vector<std::string>& events) {
  auto watch = std::make_shared<SocketWatch>();
  const auto record = [&](auto event, const std::string& name) {
    socket.on(event, [watch, name](const Items& data, const socketio::SocketAckEmitter&) {
      if (!platform::DispatchQueue::main()->isCurrent()) ++watch->offMainQueue;
      watch->events[name].push_back(data);
    });
  };
  for (const auto event : socketio::kAllSocketClientEvents) record(event, key(event));
  for (const auto& name : events) record(name, name);
  return watch;
}

std::size_t SocketWatch::count(const std::string& event) const {
  const auto found = events.find(event);
  return found == events.end() ? 0 : found->second.size();
}

Items SocketWatch::last(const std::string& event) const {
  return count(event) == 0 ? Items{} : events.at(event).back();
}

bool SocketWatch::waitFor(const std::string& event, std::size_t n) const {
  return testsupport::runMainLoopUntil([&] { return count(event) == n; });
}

std::shared_ptr<socketio::SocketManager> makeManager(socketio::SocketIOClientConfiguration config,
                                                     const std::string& url) {
  config.insert(config.begin(), socketio::SocketIOClientOption::reconnects(false));
  return socketio::SocketManager::make(*platform::URL::make(url), std::move(config));
}

std::shared_ptr<socketio::SocketManager> makeScriptedManager(
    const std::string& scenario, socketio::SocketIOClientConfiguration config) {
  config.push_back(socketio::SocketIOClientOption::path("/scripted.io/"));
  config.push_back(socketio::SocketIOClientOption::connectParams({{"scenario", scenario}}));
  return makeManager(std::move(config));
}

bool connectAndWait(socketio::SocketIOClient& socket, const SocketWatch& watch) {
  const auto before = watch.count(SocketWatch::Event::connect);
  socket.connect();
  return watch.waitFor(SocketWatch::Event::connect, before + 1);
}

std::expected<Items, SocketIOError> ask(socketio::SocketIOClient& socket, const std::string& event,
                                        Items items, std::chrono::milliseconds timeout) {
  auto answer = testsupport::awaitCompletion<std::expected<Items, SocketIOError>>(
      [&](auto done) { socket.emitWithAck(event, std::move(items), timeout, std::move(done)); });
  return answer.value_or(std::unexpected(SocketIOError::ackTimeout));
}

std::expected<void, SocketIOError> written(socketio::SocketIOClient& socket,
                                           const std::string& event, Items items) {
  auto result = testsupport::awaitCompletion<std::expected<void, SocketIOError>>(
      [&](auto done) { socket.emit(event, std::move(items), std::move(done)); });
  return result.value_or(std::unexpected(SocketIOError::ackTimeout));
}

void setHeartbeat(const testsupport::Backend& backend, int pingIntervalMs, int pingTimeoutMs) {
  auto response = backend.request(
      "POST", "/__socketio/heartbeat",
      SocketData{{"pingInterval", pingIntervalMs}, {"pingTimeout", pingTimeoutMs}}.dump());
  ASSERT_TRUE(response.has_value()) << response.error();
  ASSERT_EQ(response->status, 200) << response->body;
}

SocketData serverState(const testsupport::Backend& backend, const std::string& path) {
  auto response = backend.request("GET", path);
  if (!response || response->status != 200) {
    ADD_FAILURE() << "no state at " << path;
    return SocketData::object();
  }
  return SocketData::parse(response->body);
}

}  // namespace sockettest
