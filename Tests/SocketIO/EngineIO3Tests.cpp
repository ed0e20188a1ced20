// The client in its Socket.IO 2 mode (Engine.IO 3) against the same server, which speaks the
// older protocol to clients that ask for it: the client pings, the default namespace is
// joined on open, binary frames carry a type byte.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "SocketIO/SocketManager.h"
#include "Tests/SocketIO/SocketWatch.h"
#include "Tests/Support/MainLoopPump.h"

namespace {

using socketio::SocketClientEvent;
using socketio::SocketData;
using socketio::SocketIOClientOption;
using socketio::SocketIOStatus;
using socketio::SocketIOVersion;
using sockettest::SocketWatch;
using testsupport::runMainLoopUntil;
using Items = std::vector<SocketData>;

class EngineIO3Test : public testsupport::BackendTest {
 protected:
  void connect(const std::vector<std::string>& events = {}) {
    manager_ = sockettest::makeManager({SocketIOClientOption::version(SocketIOVersion::two)});
    socket_ = manager_->defaultSocket();
    watch_ = SocketWatch::attach(*socket_, events);
    ASSERT_TRUE(sockettest::connectAndWait(*socket_, *watch_));
  }

  std::shared_ptr<socketio::SocketManager> manager_;
  std::shared_ptr<socketio::SocketIOClient> socket_;
  std::shared_ptr<SocketWatch> watch_;
};

TEST_F(EngineIO3Test, JoinsNamespacesAndExchangesEventsAndBinaryBothWays) {
  connect({"echo"});
  EXPECT_FALSE(socket_->sid().empty());
  auto who = sockettest::ask(*socket_, "whoami", {});
  ASSERT_TRUE(who.has_value());
  EXPECT_EQ((*who)[0]["eio"], 3);

  // Binary frames carry the type byte.
  const Items items{"text", SocketData::binary({4, 0, 255}),
                    SocketData{{"nested", SocketData::binary({})}}};
  socket_->emit("echo", items);
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count("echo") == 1; }));
  EXPECT_EQ(watch_->last("echo"), items);
  auto answer = sockettest::ask(*socket_, "ack", items);
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, items);

  auto chat = manager_->socket("/chat");
  auto chatWatch = SocketWatch::attach(*chat, {"echo"});
  ASSERT_TRUE(sockettest::connectAndWait(*chat, *chatWatch));
  chat->emit("echo", {"chat"});
  ASSERT_TRUE(runMainLoopUntil([&] { return chatWatch->count("echo") == 1; }));

  auto refused = manager_->socket("/refused");
  auto refusedWatch = SocketWatch::attach(*refused);
  refused->connect();
  ASSERT_TRUE(runMainLoopUntil([&] { return refusedWatch->count(SocketClientEvent::error) == 1; }));
  EXPECT_EQ(refused->status(), SocketIOStatus::disconnected);
  EXPECT_EQ(refusedWatch->count(SocketClientEvent::connect), 0u);
  // The others keep their connection.
  EXPECT_TRUE(sockettest::ask(*socket_, "ack", {}).has_value());
}

TEST_F(EngineIO3Test, PingsTheServerAndNoticesWhenPongsStop) {
  // Frequent pings, but a generous timeout: a loaded machine must not look like a dead peer.
  sockettest::setHeartbeat(backend(), 100, 1000);
  connect();
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count(SocketClientEvent::pong) >= 3; }));
  EXPECT_EQ(watch_->count(SocketClientEvent::disconnect), 0u);

  socket_->emit("stopHeartbeat", {});
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count(SocketClientEvent::disconnect) == 1; }));
  EXPECT_EQ(watch_->last(SocketClientEvent::disconnect), Items{"ping timeout"});
  EXPECT_GT(watch_->count(SocketClientEvent::ping), watch_->count(SocketClientEvent::pong));
}

}  // namespace
