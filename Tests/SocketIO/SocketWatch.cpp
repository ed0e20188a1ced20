#include "Tests/SocketIO/SocketWatch.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/URL.h"
#include "Tests/Support/MainLoopPump.h"

namespace sockettest {

using socketio::SocketAckEmitter;
using socketio::SocketClientEvent;
using socketio::SocketData;

std::shared_ptr<SocketWatch> SocketWatch::attach(socketio::SocketIOClient& socket,
                                                 const std::vector<std::string>& events) {
  auto watch = std::make_shared<SocketWatch>();
  for (const auto event : socketio::kAllSocketClientEvents) {
    socket.on(event, [watch, event](const std::vector<SocketData>& data, const SocketAckEmitter&) {
      if (!platform::DispatchQueue::main()->isCurrent()) ++watch->offMainQueue;
      watch->clientEvents.push_back({event, data});
    });
  }
  for (const auto& name : events) {
    socket.on(name, [watch, name](const std::vector<SocketData>& data, const SocketAckEmitter&) {
      if (!platform::DispatchQueue::main()->isCurrent()) ++watch->offMainQueue;
      watch->events[name].push_back(data);
    });
  }
  return watch;
}

std::size_t SocketWatch::count(SocketClientEvent event) const {
  return static_cast<std::size_t>(std::ranges::count_if(
      clientEvents, [event](const Record& record) { return record.event == event; }));
}

std::size_t SocketWatch::count(const std::string& event) const {
  const auto found = events.find(event);
  return found == events.end() ? 0 : found->second.size();
}

std::vector<SocketData> SocketWatch::last(SocketClientEvent event) const {
  for (auto it = clientEvents.rbegin(); it != clientEvents.rend(); ++it) {
    if (it->event == event) return it->data;
  }
  return {};
}

std::vector<SocketData> SocketWatch::last(const std::string& event) const {
  const auto found = events.find(event);
  return found == events.end() || found->second.empty() ? std::vector<SocketData>{}
                                                        : found->second.back();
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
  const auto before = watch.count(SocketClientEvent::connect);
  socket.connect();
  return testsupport::runMainLoopUntil(
      [&] { return watch.count(SocketClientEvent::connect) > before; });
}

std::expected<std::vector<SocketData>, socketio::SocketIOError> ask(
    socketio::SocketIOClient& socket, const std::string& event, std::vector<SocketData> items) {
  // Shared: the answer may come after a failed wait has returned.
  auto answer = std::make_shared<
      std::optional<std::expected<std::vector<SocketData>, socketio::SocketIOError>>>();
  socket.emitWithAck(event, std::move(items), std::chrono::seconds(10),
                     [answer](auto result) { *answer = std::move(result); });
  if (!testsupport::runMainLoopUntil([&] { return answer->has_value(); })) {
    ADD_FAILURE() << "no answer to " << event;
    return std::unexpected(socketio::SocketIOError::ackTimeout);
  }
  return **answer;
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
