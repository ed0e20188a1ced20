// The client against the stand-in's real Socket.IO server (Engine.IO 4), over TLS under the
// server's real name through the connect-to table.
#include "SocketIO/SocketManager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Network/ConnectToTable.h"
#include "Platform/Network/ExtraTrustedCA.h"
#include "Tests/SocketIO/SocketWatch.h"
#include "Tests/Support/MainLoopPump.h"

namespace {

using namespace std::chrono_literals;
using socketio::SocketAckEmitter;
using socketio::SocketData;
using socketio::SocketIOClientOption;
using socketio::SocketIOError;
using socketio::SocketIOStatus;
using sockettest::Items;
using sockettest::SocketWatch;
using ::testing::HasSubstr;
using testsupport::runMainLoopUntil;
using Event = socketio::SocketClientEvent;

SocketData bytes(std::initializer_list<std::uint8_t> list) {
  return SocketData::binary(socketio::SocketBytes(list));
}

// A binary frame for the server's "raw" event to write.
SocketData binaryFrame(std::vector<int> bytes) {
  return {{"binary", bytes}};
}

class SocketManagerTest : public testsupport::BackendTest {
 protected:
  // Connects the default socket of a new manager; the test fails when it cannot.
  void connect(socketio::SocketIOClientConfiguration config = {},
               const std::vector<std::string>& events = {}) {
    manager_ = sockettest::makeManager(std::move(config));
    socket_ = manager_->defaultSocket();
    watch_ = SocketWatch::attach(*socket_, events);
    ASSERT_TRUE(sockettest::connectAndWait(*socket_, *watch_));
  }

  // Pumps the main loop until the server has no socket connected on "/".
  bool serverSeesNoSocket() {
    return runMainLoopUntil(
        [&] { return sockettest::serverState(backend())["connected"].value("/", 0) == 0; });
  }

  std::shared_ptr<socketio::SocketManager> manager_;
  std::shared_ptr<socketio::SocketIOClient> socket_;
  std::shared_ptr<SocketWatch> watch_;
};

TEST_F(SocketManagerTest, ConnectsUnderTheServersNameWithItsSettingsAndItemsTravelBothWays) {
  manager_ = sockettest::makeManager({SocketIOClientOption::connectParams({{"token", "a b&c=d%"}}),
                                      SocketIOClientOption::extraHeaders({{"X-Test", "yes"}})});
  socket_ = manager_->defaultSocket();
  watch_ = SocketWatch::attach(*socket_, {"echo", "answer"});
  socket_->connect({{"user", "u1"}});
  ASSERT_TRUE(watch_->waitFor(Event::connect, 1));
  EXPECT_EQ(socket_->status(), SocketIOStatus::connected);
  EXPECT_EQ(manager_->status(), SocketIOStatus::connected);
  const auto connected = watch_->last(Event::connect);
  ASSERT_EQ(connected.size(), 2u);
  EXPECT_EQ(connected[0], "/");
  EXPECT_EQ(connected[1]["sid"], socket_->sid());
  EXPECT_FALSE(socket_->sid().empty());

  auto who = sockettest::ask(*socket_, "whoami", {}).value_or(Items{{}}).at(0);
  EXPECT_EQ(who["sni"], "socket.brelum.io");
  EXPECT_EQ(who["host"], "socket.brelum.io");
  EXPECT_EQ(who["eio"], 4);
  EXPECT_EQ(who["extensions"], "permessage-deflate");
  EXPECT_EQ(who["auth"], SocketData({{"user", "u1"}}));
  EXPECT_EQ(who["query"]["token"], "a b&c=d%");
  EXPECT_EQ(who["query"]["EIO"], "4");
  EXPECT_EQ(who["xHeaders"], SocketData({{"x-test", "yes"}}));

  // Large enough for the server to compress it.
  const SocketData tree{{"file", bytes({1, 2})}, {"parts", {bytes({3}), "x", bytes({4})}}};
  const Items items{"text",    42,        -1.5,       true, nullptr,
                    "ü\u2028", bytes({}), bytes({9}), tree, std::string(200000, 'z')};
  EXPECT_TRUE(sockettest::written(*socket_, "echo", items).has_value());
  ASSERT_TRUE(watch_->waitFor("echo", 1));
  EXPECT_EQ(watch_->last("echo"), items);
  EXPECT_EQ(sockettest::ask(*socket_, "ack", items), items);

  // The server's question is answered once, however often the handler answers.
  int asked = 0;
  socket_->on("question", [&](const Items& data, const SocketAckEmitter& ack) {
    ++asked;
    EXPECT_EQ(data, (Items{1, bytes({2})}));
    EXPECT_TRUE(ack.expected());
    ack.with({"reply", data[0]});
    ack.with({"a second answer is never sent"});
  });
  socket_->emit("ask", {"question", 1, bytes({2})});
  ASSERT_TRUE(watch_->waitFor("answer", 1));
  EXPECT_EQ(watch_->last("answer"), (Items{"reply", 1}));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(watch_->offMainQueue, 0);
}

// WebSocket frame lengths take one, two or eight bytes: each side of each boundary, and
// exactly the server's limit, arrive whole, as text frames and as binary attachments
// (uncompressed, as long as their data); what the server would take for a malformed packet,
// or what passes its limit (and would make it drop the connection), fails at once.
TEST_F(SocketManagerTest, FramesUpToTheLimitArriveWholeAndRefusedEmitsFailAtOnce) {
  // Not connected: the emits fail, and nothing connects.
  auto idle = sockettest::makeManager();
  const auto notConnected = std::unexpected(SocketIOError::notConnected);
  EXPECT_EQ(sockettest::written(*idle->defaultSocket(), "echo", {1}), notConnected);
  EXPECT_EQ(sockettest::ask(*idle->defaultSocket(), "ack", {1}), notConnected);
  EXPECT_EQ(sockettest::serverState(backend())["handshakes"], 0);

  connect({SocketIOClientOption::compress(false)}, {"echo"});
  EXPECT_EQ(sockettest::ask(*socket_, "whoami", {}).value_or(Items{{}})[0]["extensions"], "");
  std::vector<Items> sent;
  for (const auto frame : {125uz, 126uz, 127uz, 65535uz, 65536uz, 65537uz, 1000000uz}) {
    // "4", "2[\"echo\",\"", the text and "\"]" make the text frame.
    sent.push_back({std::string(frame - 13, 't')});
    sent.push_back({SocketData::binary(socketio::SocketBytes(frame, 0x5A))});
  }
  for (const auto& items : sent) socket_->emit("echo", items);
  ASSERT_TRUE(watch_->waitFor("echo", sent.size()));
  EXPECT_EQ(watch_->events["echo"], sent);

  auto deep = SocketData::array();
  for (int i = 0; i < 600; ++i) deep = SocketData::array({std::move(deep)});
  const std::vector<std::tuple<std::string, Items, SocketIOError>> refused{
      {"connect_error", {1}, SocketIOError::reservedEventName},
      {"echo", {"\xff\xfe"}, SocketIOError::invalidData},
      {"echo", {deep}, SocketIOError::invalidData},
      {"echo", {std::string(1000001 - 13, 'x')}, SocketIOError::payloadTooLarge},
      {"echo",
       {SocketData::binary(socketio::SocketBytes(1000001, 1))},
       SocketIOError::payloadTooLarge}};
  for (const auto& [event, items, error] : refused) {
    EXPECT_EQ(sockettest::written(*socket_, event, items), std::unexpected(error));
    EXPECT_EQ(sockettest::ask(*socket_, event, items), std::unexpected(error));
  }
  // An answer that never comes times out, once.
  EXPECT_EQ(sockettest::ask(*socket_, "sink", {}, 100ms),
            std::unexpected(SocketIOError::ackTimeout));
  EXPECT_TRUE(sockettest::ask(*socket_, "ack", {"still here"}).has_value());
  EXPECT_EQ(watch_->count(Event::disconnect), 0u);
}

// Each way a socket ends: its reason, pending acknowledgements failed, the connection closed
// (from our side too), and a later connect opening a new one.
TEST_F(SocketManagerTest, DisconnectsReportTheirReasonAndFailPendingAcknowledgements) {
  // Frequent pings, but a generous timeout: a loaded machine must not look like a dead peer.
  sockettest::setHeartbeat(backend(), 100, 4000);
  connect();
  // Pings come and are answered.
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count(Event::ping) >= 3; }));
  const std::vector<std::tuple<std::string, Items, std::string>> kinds{
      {"disconnectMe", {false}, "io server disconnect"},
      {"disconnectMe", {true}, "io server disconnect"},
      {"dropTransport", {}, "transport close"},
      {"stopHeartbeat", {}, "ping timeout"}};
  auto pending = std::make_shared<std::optional<std::expected<Items, SocketIOError>>>();
  for (std::size_t n = 1; const auto& [event, items, reason] : kinds) {
    pending->reset();
    socket_->emitWithAck("sink", {}, 0ms, [pending](auto result) { *pending = result; });
    socket_->emit(event, items);
    ASSERT_TRUE(watch_->waitFor(Event::disconnect, n++)) << reason;
    EXPECT_EQ(watch_->last(Event::disconnect), Items{reason});
    EXPECT_EQ(socket_->status(), SocketIOStatus::disconnected);
    EXPECT_TRUE(socket_->sid().empty());
    ASSERT_TRUE(runMainLoopUntil([&] { return pending->has_value(); }));
    EXPECT_EQ(**pending, std::unexpected(SocketIOError::disconnected));
    ASSERT_TRUE(
        runMainLoopUntil([&] { return manager_->status() == SocketIOStatus::disconnected; }));
    ASSERT_TRUE(serverSeesNoSocket());
    ASSERT_TRUE(sockettest::connectAndWait(*socket_, *watch_));
  }
  EXPECT_TRUE(sockettest::ask(*socket_, "ack", {}).has_value());
  socket_->disconnect();
  ASSERT_TRUE(watch_->waitFor(Event::disconnect, 5));
  EXPECT_EQ(watch_->last(Event::disconnect), Items{"io client disconnect"});
  ASSERT_TRUE(serverSeesNoSocket());
  EXPECT_EQ(sockettest::serverState(backend())["disconnects"].back()["reason"],
            "client namespace disconnect");
  EXPECT_EQ(manager_->status(), SocketIOStatus::disconnected);
  EXPECT_EQ(watch_->count(Event::error), 0u);
  EXPECT_EQ(watch_->count(Event::pong), watch_->count(Event::ping));
}

TEST_F(SocketManagerTest, NamespacesShareTheConnectionAndKeepTheirEventsApart) {
  manager_ = sockettest::makeManager();
  // Names a packet cannot carry get no socket.
  EXPECT_FALSE(manager_->socket("/a,b"));
  EXPECT_FALSE(manager_->socket(std::string("/a\0b", 4)));
  EXPECT_FALSE(manager_->socket("/\xff"));
  socket_ = manager_->socket("/");
  EXPECT_EQ(socket_, manager_->defaultSocket());

  // A namespace's middleware refuses: an error, and the connection closes, no socket using it.
  auto refused = manager_->socket("refused");
  EXPECT_EQ(refused->nsp(), "/refused");
  auto refusedWatch = SocketWatch::attach(*refused);
  refused->connect();
  ASSERT_TRUE(refusedWatch->waitFor(Event::error, 1));
  EXPECT_EQ(refusedWatch->last(Event::error),
            Items{SocketData({{"message", "not allowed"}, {"data", {{"code", 42}}}})});
  EXPECT_EQ(refused->status(), SocketIOStatus::disconnected);
  EXPECT_EQ(refusedWatch->count(Event::connect), 0u);
  EXPECT_EQ(refusedWatch->count(Event::disconnect), 0u);
  ASSERT_TRUE(runMainLoopUntil([&] { return manager_->status() == SocketIOStatus::disconnected; }));

  watch_ = SocketWatch::attach(*socket_, {"echo", "x"});
  ASSERT_TRUE(sockettest::connectAndWait(*socket_, *watch_));
  auto chat = manager_->socket("/chat");
  EXPECT_EQ(manager_->socket("chat"), chat);
  auto chatWatch = SocketWatch::attach(*chat, {"echo"});
  ASSERT_TRUE(sockettest::connectAndWait(*chat, *chatWatch));
  chat->emit("echo", {"on chat"});
  socket_->emit("echo", {"on root"});
  // Events for a namespace without a socket are dropped.
  socket_->emit("raw", {SocketData::array({R"(42/nobody,["x",1])", R"(42["x",2])"})});
  ASSERT_TRUE(runMainLoopUntil(
      [&] { return watch_->count("x") + watch_->count("echo") + chatWatch->count("echo") == 3; }));
  EXPECT_EQ(chatWatch->last("echo"), Items{"on chat"});
  EXPECT_EQ(watch_->last("echo"), Items{"on root"});
  EXPECT_EQ(watch_->last("x"), Items{2});
  EXPECT_EQ(sockettest::serverState(backend())["handshakes"], 2);

  // A server's DISCONNECT with a reason, as some servers send it, leaves that namespace only.
  socket_->emit("raw", {SocketData::array({R"(41/chat,"kicked by an admin")"})});
  ASSERT_TRUE(chatWatch->waitFor(Event::disconnect, 1));
  EXPECT_EQ(chatWatch->last(Event::disconnect), Items{"kicked by an admin"});
  EXPECT_TRUE(sockettest::ask(*socket_, "ack", {}).has_value());
  EXPECT_EQ(watch_->count(Event::disconnect), 0u);
  EXPECT_EQ(watch_->count(Event::error), 0u);
}

// A packet whose payload cannot be read is dropped with an error naming it; the next one
// arrives, and the connection goes on. Frames that leave the client unsure of what follows
// end the connection.
TEST_F(SocketManagerTest, UnreadablePacketsAreDroppedAndMalformedFramesEndTheConnection) {
  connect({}, {"x"});
  const std::vector<std::pair<SocketData, std::string>> packets{
      {SocketData::array({R"(42["x",NaN])"}), "EVENT packet on /"},
      {SocketData::array({R"(427["x",-Infinity])"}), "EVENT packet on / (id 7)"},
      {SocketData::array({R"(42["x","\ud800"])"}), "payload is not JSON"},
      {SocketData::array({"42[]"}), "wrong shape"},
      // Its attachment is taken and dropped with it.
      {SocketData::array({R"(451-["x",NaN,{"_placeholder":true,"num":0}])", binaryFrame({1})}),
       "EVENT packet on /"},
      {SocketData::array({R"(451-["x",{"_placeholder":true,"num":1}])", binaryFrame({1})}),
       "placeholder names no attachment"}};
  for (std::size_t n = 1; const auto& [frames, named] : packets) {
    auto sent = frames;
    sent.push_back(R"(42["x","after"])");
    socket_->emit("raw", {sent});
    ASSERT_TRUE(watch_->waitFor("x", n)) << named;
    ASSERT_EQ(watch_->count(Event::error), n++);
    EXPECT_THAT(watch_->last(Event::error).at(0).get<std::string>(), HasSubstr(named));
  }
  EXPECT_EQ(watch_->events["x"], std::vector<Items>(packets.size(), Items{"after"}));
  EXPECT_EQ(watch_->count(Event::disconnect), 0u);
  EXPECT_TRUE(sockettest::ask(*socket_, "ack", {}).has_value());

  const std::vector<SocketData> frames{
      SocketData::array({"9"}),
      SocketData::array({R"(0{"sid":"x","pingInterval":1000,"pingTimeout":1000})"}),  // again
      SocketData::array({R"(45x-["x"])"}),
      SocketData::array(
          {R"(452-["x",{"_placeholder":true,"num":0}])", binaryFrame({1}), R"(42["x"])"}),
      SocketData::array({binaryFrame({1, 2})})};  // an attachment without its packet
  for (std::size_t n = 1; const auto& frame : frames) {
    ASSERT_TRUE(n == 1 || sockettest::connectAndWait(*socket_, *watch_));
    socket_->emit("raw", {frame});
    ASSERT_TRUE(watch_->waitFor(Event::disconnect, n++)) << frame;
    EXPECT_EQ(watch_->last(Event::disconnect), Items{"parse error"});
    const auto error = watch_->last(Event::error).at(0).get<std::string>();
    EXPECT_TRUE(error.starts_with("protocol error")) << error;
    ASSERT_TRUE(serverSeesNoSocket());
  }
  EXPECT_EQ(watch_->count("x"), packets.size());
  EXPECT_EQ(watch_->count(Event::error), packets.size() + frames.size());
}

// Connecting fails with an error naming the problem, and no handshake reaches the server.
TEST_F(SocketManagerTest, AServerItCannotVerifyOrAnUnusableSettingFailsTheConnect) {
  ASSERT_TRUE(platform::ConnectToTable::shared().add("wrong.example", 443, "127.0.0.1",
                                                     backend().httpsPort()));
  const std::string real = "https://socket.brelum.io";
  const std::vector<std::tuple<std::string, socketio::SocketIOClientConfiguration, std::string>>
      attempts{{"https://wrong.example", {}, "the certificate is not for wrong.example"},
               {"ftp://socket.brelum.io", {}, "unsupported URL scheme \"ftp\""},
               {real,
                {SocketIOClientOption::extraHeaders({{"X-Bad", "no\r\nX-Injected: 1"}})},
                "\"X-Bad\" holds a line break"},
               {real,
                {SocketIOClientOption::extraHeaders({{"X Bad", "v"}})},
                "\"X Bad\" is not a header"},
               // Last: it takes away the stand-in's CA.
               {real, {}, "unable to get local issuer certificate"}};
  for (const auto& [url, config, problem] : attempts) {
    if (problem.starts_with("unable")) platform::clearExtraTrustedCAFile();
    auto manager = sockettest::makeManager(config, url);
    auto watch = SocketWatch::attach(*manager->defaultSocket());
    manager->defaultSocket()->connect();
    ASSERT_TRUE(watch->waitFor(Event::disconnect, 1)) << problem;
    EXPECT_EQ(watch->last(Event::disconnect), Items{"transport error"});
    EXPECT_THAT(watch->last(Event::error).at(0).get<std::string>(), HasSubstr(problem));
    EXPECT_EQ(watch->count(Event::connect), 0u);
  }
  EXPECT_EQ(sockettest::serverState(backend())["handshakes"], 0);
}

// MARK: - Reconnection by the library itself

TEST_F(SocketManagerTest, ReconnectsByItselfWhenAsked) {
  connect({SocketIOClientOption::reconnects(true), SocketIOClientOption::reconnectWait(50ms)});
  socket_->emit("dropTransport", {});
  ASSERT_TRUE(watch_->waitFor(Event::connect, 2));
  EXPECT_EQ(watch_->count(Event::disconnect), 0u);
  EXPECT_EQ(watch_->last(Event::reconnect), Items{"transport close"});
  // No limit on attempts unless one is set.
  EXPECT_EQ(watch_->last(Event::reconnectAttempt), Items{-1});
  EXPECT_TRUE(sockettest::ask(*socket_, "ack", {}).has_value());
}

TEST_F(SocketManagerTest, GivesUpReconnectingAfterItsAttempts) {
  connect({SocketIOClientOption::reconnects(true), SocketIOClientOption::reconnectWait(20ms),
           SocketIOClientOption::reconnectAttempts(2)});
  // Port 1 of loopback refuses every new connection.
  ASSERT_TRUE(platform::ConnectToTable::shared().add("socket.brelum.io", 443, "127.0.0.1", 1));
  socket_->emit("dropTransport", {});
  ASSERT_TRUE(watch_->waitFor(Event::disconnect, 1));
  EXPECT_EQ(watch_->last(Event::disconnect), Items{"reconnect failed"});
  EXPECT_EQ(watch_->count(Event::reconnectAttempt), 2u);
  EXPECT_EQ(watch_->count(Event::error), 2u);
  EXPECT_EQ(socket_->status(), SocketIOStatus::disconnected);
}

// MARK: - Lifetimes

// Destroyed in the middle of the handshake, or inside its own connect handler, a manager runs
// no handler after.
TEST_F(SocketManagerTest, DestroyedMidHandshakeOrInsideItsOwnConnectHandler) {
  auto early = sockettest::makeManager();
  auto watch = SocketWatch::attach(*early->defaultSocket());
  early->defaultSocket()->connect();
  early.reset();
  testsupport::drainMainQueue();
  // Whatever reached the server is gone again.
  ASSERT_TRUE(serverSeesNoSocket());
  EXPECT_EQ(watch->count(Event::connect), 0u);
  EXPECT_EQ(watch->count(Event::disconnect), 0u);

  auto manager = sockettest::makeManager();
  int calls = 0;
  manager->defaultSocket()->on(Event::connect, [&](const Items&, const SocketAckEmitter&) {
    ++calls;
    manager.reset();
  });
  manager->defaultSocket()->on(Event::connect,
                               [&](const Items&, const SocketAckEmitter&) { ++calls; });
  manager->defaultSocket()->connect();
  ASSERT_TRUE(runMainLoopUntil([&] { return !manager; }));
  ASSERT_TRUE(serverSeesNoSocket());
  testsupport::drainMainQueue();
  EXPECT_EQ(calls, 1);
}

// Pending acknowledgements are cancelled, each once, on the main queue; no handler runs
// after the one that destroyed the manager.
TEST_F(SocketManagerTest, DestroyedInsideAnEventHandlerWithMoreEventsAndAnswersPending) {
  connect();
  std::vector<SocketIOError> outcomes;
  int offMain = 0;
  for (int i = 0; i < 3; ++i) {
    socket_->emitWithAck("sink", {}, 0ms, [&](auto result) {
      if (!platform::DispatchQueue::main()->isCurrent()) ++offMain;
      outcomes.push_back(result ? SocketIOError::ackTimeout : result.error());
    });
  }
  // Written means the server has them; their answers never come.
  ASSERT_TRUE(sockettest::written(*socket_, "sink", {}).has_value());
  int ticks = 0;
  socket_->on("tick", [&](const Items&, const SocketAckEmitter&) {
    ++ticks;
    manager_.reset();
  });
  socket_->emit("flood", {{{"event", "tick"}, {"count", 500}}});
  ASSERT_TRUE(runMainLoopUntil([&] { return !manager_; }));
  ASSERT_TRUE(serverSeesNoSocket());
  ASSERT_TRUE(runMainLoopUntil([&] { return outcomes.size() == 3; }));
  testsupport::drainMainQueue();
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(outcomes, std::vector<SocketIOError>(3, SocketIOError::cancelled));
  EXPECT_EQ(offMain, 0);
  // The socket outlives its manager and does nothing.
  EXPECT_FALSE(socket_->manager());
  EXPECT_EQ(sockettest::written(*socket_, "echo", {}), std::unexpected(SocketIOError::cancelled));
}

TEST_F(SocketManagerTest, DestroyedOnAnotherThreadWhileEventsArrive) {
  manager_ = sockettest::makeManager(
      {SocketIOClientOption::handleQueue(platform::DispatchQueue::global())});
  socket_ = manager_->defaultSocket();
  // Shared: a handler already under way on the other thread may finish after the test.
  auto connected = std::make_shared<std::atomic<bool>>(false);
  auto ticks = std::make_shared<std::atomic<int>>(0);
  socket_->on(Event::connect,
              [connected](const Items&, const SocketAckEmitter&) { *connected = true; });
  socket_->on("tick", [ticks](const Items&, const SocketAckEmitter&) { ++*ticks; });
  socket_->connect();
  ASSERT_TRUE(runMainLoopUntil([&] { return connected->load(); }));
  socket_->emit("flood", {{{"event", "tick"}, {"count", 2000}}});
  ASSERT_TRUE(runMainLoopUntil([&] { return *ticks > 0; }));
  manager_.reset();
  const int seen = *ticks;
  ASSERT_TRUE(serverSeesNoSocket());
  // At most the one handler that was already running when the manager went.
  EXPECT_LE(*ticks - seen, 1) << "handlers ran after the manager was gone";
}

}  // namespace
