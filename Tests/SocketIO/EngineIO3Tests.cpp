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
using sockettest::Items;
using sockettest::SocketWatch;
using testsupport::runMainLoopUntil;

class EngineIO3Test : public testsupport::BackendTest {};

TEST_F(EngineIO3Test, JoinsNamespacesExchangesEventsAndBinaryAndKeepsTheHeartbeat) {
  // Frequent pings, but a generous timeout: a loaded machine must not look like a dead peer.
  sockettest::setHeartbeat(backend(), 100, 4000);
  auto manager = sockettest::makeManager({SocketIOClientOption::version(SocketIOVersion::two)});
  auto socket = manager->defaultSocket();
  auto watch = SocketWatch::attach(*socket, {"echo"});
  ASSERT_TRUE(sockettest::connectAndWait(*socket, *watch));
  EXPECT_FALSE(socket->sid().empty());
  EXPECT_EQ(sockettest::ask(*socket, "whoami", {}).value_or(Items{{}})[0]["eio"], 3);

  // Binary frames carry the type byte.
  const Items items{"text", SocketData::binary({4, 0, 255}),
                    SocketData{{"nested", SocketData::binary({})}}};
  socket->emit("echo", items);
  ASSERT_TRUE(watch->waitFor("echo", 1));
  EXPECT_EQ(watch->last("echo"), items);
  EXPECT_EQ(sockettest::ask(*socket, "ack", items), items);

  auto chat = manager->socket("/chat");
  auto chatWatch = SocketWatch::attach(*chat, {"echo"});
  ASSERT_TRUE(sockettest::connectAndWait(*chat, *chatWatch));
  chat->emit("echo", {"chat"});
  ASSERT_TRUE(chatWatch->waitFor("echo", 1));

  auto refused = manager->socket("/refused");
  auto refusedWatch = SocketWatch::attach(*refused);
  refused->connect();
  ASSERT_TRUE(refusedWatch->waitFor(SocketClientEvent::error, 1));
  EXPECT_EQ(refused->status(), SocketIOStatus::disconnected);
  EXPECT_EQ(refusedWatch->count(SocketClientEvent::connect), 0u);
  // The others keep their connection.
  EXPECT_TRUE(sockettest::ask(*socket, "ack", {}).has_value());

  // The client pings, and notices when the pongs stop.
  ASSERT_TRUE(runMainLoopUntil([&] { return watch->count(SocketClientEvent::pong) >= 3; }));
  EXPECT_EQ(watch->count(SocketClientEvent::disconnect), 0u);
  socket->emit("stopHeartbeat", {});
  ASSERT_TRUE(watch->waitFor(SocketClientEvent::disconnect, 1));
  EXPECT_EQ(watch->last(SocketClientEvent::disconnect), Items{"ping timeout"});
  EXPECT_GT(watch->count(SocketClientEvent::ping), watch->count(SocketClientEvent::pong));
}

}  // namespace
