// The client against the stand-in's real Socket.IO server (Engine.IO 4), over TLS under the
// server's real name through the connect-to table.
#include "SocketIO/SocketManager.h"

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
using socketio::SocketClientEvent;
using socketio::SocketData;
using socketio::SocketIOClientOption;
using socketio::SocketIOError;
using socketio::SocketIOStatus;
using sockettest::SocketWatch;
using testsupport::runMainLoopUntil;

using Items = std::vector<SocketData>;

SocketData bytes(std::initializer_list<std::uint8_t> list) {
  return SocketData::binary(socketio::SocketBytes(list));
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

  // Pumps the main loop until the server has no socket connected on `nsp`.
  bool serverSeesNoSocket(const std::string& nsp = "/") {
    return runMainLoopUntil(
        [&] { return sockettest::serverState(backend())["connected"].value(nsp, 0) == 0; });
  }

  std::shared_ptr<socketio::SocketManager> manager_;
  std::shared_ptr<socketio::SocketIOClient> socket_;
  std::shared_ptr<SocketWatch> watch_;
};

TEST_F(SocketManagerTest, ConnectsUnderTheServersNameAndEveryKindOfItemTravelsBothWays) {
  connect({}, {"echo", "answer"});
  EXPECT_EQ(socket_->status(), SocketIOStatus::connected);
  EXPECT_EQ(manager_->status(), SocketIOStatus::connected);
  const auto connected = watch_->last(SocketClientEvent::connect);
  ASSERT_EQ(connected.size(), 2u);
  EXPECT_EQ(connected[0], "/");
  EXPECT_EQ(connected[1]["sid"], socket_->sid());
  EXPECT_FALSE(socket_->sid().empty());

  auto who = sockettest::ask(*socket_, "whoami", {});
  ASSERT_TRUE(who.has_value());
  ASSERT_EQ(who->size(), 1u);
  EXPECT_EQ((*who)[0]["sni"], "socket.brelum.io");
  EXPECT_EQ((*who)[0]["host"], "socket.brelum.io");
  EXPECT_EQ((*who)[0]["eio"], 4);

  const SocketData tree{{"file", bytes({1, 2})}, {"parts", {bytes({3}), "x", bytes({4})}}};
  const Items items{"text", 42, -1.5, true, nullptr, "ü\u2028", bytes({}), bytes({9}), tree};
  int written = 0;
  socket_->emit("echo", items, [&](std::expected<void, SocketIOError> result) {
    EXPECT_TRUE(result.has_value());
    EXPECT_TRUE(platform::DispatchQueue::main()->isCurrent());
    ++written;
  });
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count("echo") == 1; }));
  EXPECT_EQ(watch_->last("echo"), items);
  EXPECT_EQ(written, 1);
  EXPECT_EQ(watch_->offMainQueue, 0);

  auto acknowledged = sockettest::ask(*socket_, "ack", items);
  ASSERT_TRUE(acknowledged.has_value()) << description(acknowledged.error());
  EXPECT_EQ(*acknowledged, items);
}

TEST_F(SocketManagerTest, TheServersQuestionsAreAnsweredOnce) {
  connect({}, {"answer"});
  int asked = 0;
  socket_->on("question", [&](const Items& data, const SocketAckEmitter& ack) {
    ++asked;
    EXPECT_EQ(data, (Items{1, bytes({2})}));
    EXPECT_TRUE(ack.expected());
    ack.with({"reply", data[0]});
    ack.with({"a second answer is never sent"});
  });
  socket_->emit("ask", {"question", 1, bytes({2})});
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count("answer") == 1; }));
  EXPECT_EQ(watch_->last("answer"), (Items{"reply", 1}));
  EXPECT_EQ(asked, 1);
}

struct RefusedEmit {
  std::string name;
  std::string event;
  Items items;
  SocketIOError error;
};

class SocketManagerRefusedEmit : public SocketManagerTest,
                                 public ::testing::WithParamInterface<RefusedEmit> {};

TEST_P(SocketManagerRefusedEmit, FailsItsCompletionAndKeepsTheConnection) {
  connect();
  const auto& refused = GetParam();
  std::vector<std::expected<void, SocketIOError>> results;
  socket_->emit(refused.event, refused.items, [&](auto result) { results.push_back(result); });
  std::optional<std::expected<Items, SocketIOError>> answer;
  socket_->emitWithAck(refused.event, refused.items, 5s,
                       [&](auto result) { answer = std::move(result); });
  ASSERT_TRUE(runMainLoopUntil([&] { return !results.empty() && answer.has_value(); }));
  ASSERT_EQ(results.size(), 1u);
  ASSERT_FALSE(results[0].has_value());
  EXPECT_EQ(results[0].error(), refused.error);
  ASSERT_FALSE(answer->has_value());
  EXPECT_EQ(answer->error(), refused.error);

  EXPECT_TRUE(sockettest::ask(*socket_, "ack", {"still here"}).has_value());
  EXPECT_EQ(watch_->count(SocketClientEvent::disconnect), 0u);
}

SocketData binaryFrame(std::initializer_list<int> bytes) {
  auto array = SocketData::array();
  for (int byte : bytes) array.push_back(byte);
  return SocketData::object({{"binary", std::move(array)}});
}

SocketData tooDeep() {
  auto value = SocketData::array();
  for (int i = 0; i < 600; ++i) value = SocketData::array({std::move(value)});
  return value;
}

INSTANTIATE_TEST_SUITE_P(
    Locally, SocketManagerRefusedEmit,
    ::testing::Values(
        RefusedEmit{"ReservedConnectError", "connect_error", {1}, SocketIOError::reservedEventName},
        RefusedEmit{"NotUTF8", "echo", {"\xff\xfe"}, SocketIOError::invalidData},
        RefusedEmit{"TooDeep", "echo", {tooDeep()}, SocketIOError::invalidData},
        // The server takes frames of up to 1 000 000 bytes and would drop the connection.
        RefusedEmit{
            "OverMaxPayload", "echo", {std::string(1000001, 'x')}, SocketIOError::payloadTooLarge},
        RefusedEmit{"AttachmentOverMaxPayload",
                    "echo",
                    {SocketData::binary(socketio::SocketBytes(1000001, 1))},
                    SocketIOError::payloadTooLarge}),
    [](const auto& info) { return info.param.name; });

// WebSocket frame lengths take one, two or eight bytes; each side of each boundary, and
// exactly the server's limit, for text frames and for binary attachments.
class SocketManagerFrameLength : public SocketManagerTest,
                                 public ::testing::WithParamInterface<std::size_t> {};

TEST_P(SocketManagerFrameLength, ArrivesWhole) {
  connect({SocketIOClientOption::compress(false)}, {"echo"});
  const std::size_t frame = GetParam();
  // "4", "2[\"echo\",\"", the text and "\"]" make the text frame.
  const std::string text(frame - 13, 't');
  const auto bytes = SocketData::binary(socketio::SocketBytes(frame, 0x5A));
  socket_->emit("echo", {text});
  socket_->emit("echo", {bytes});
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count("echo") == 2; }));
  EXPECT_EQ(watch_->events["echo"][0], Items{text});
  EXPECT_EQ(watch_->events["echo"][1], Items{bytes});
}

INSTANTIATE_TEST_SUITE_P(Boundaries, SocketManagerFrameLength,
                         ::testing::Values(125, 126, 127, 65535, 65536, 65537, 1000000));

TEST_F(SocketManagerTest, EmittingWhileNotConnectedFailsAtOnce) {
  auto manager = sockettest::makeManager();
  auto socket = manager->defaultSocket();
  std::optional<std::expected<void, SocketIOError>> written;
  std::optional<std::expected<Items, SocketIOError>> answer;
  socket->emit("echo", {1}, [&](auto result) { written = result; });
  socket->emitWithAck("ack", {1}, 0ms, [&](auto result) { answer = std::move(result); });
  ASSERT_TRUE(runMainLoopUntil([&] { return written && answer; }));
  EXPECT_EQ(written->error(), SocketIOError::notConnected);
  EXPECT_EQ(answer->error(), SocketIOError::notConnected);
  EXPECT_EQ(sockettest::serverState(backend())["handshakes"], 0);
}

TEST_F(SocketManagerTest, AnUnansweredAcknowledgementTimesOutOnce) {
  connect();
  int calls = 0;
  std::optional<std::expected<Items, SocketIOError>> answer;
  socket_->emitWithAck("sink", {}, 100ms, [&](auto result) {
    ++calls;
    answer = std::move(result);
  });
  ASSERT_TRUE(runMainLoopUntil([&] { return answer.has_value(); }));
  EXPECT_EQ(answer->error(), SocketIOError::ackTimeout);
  testsupport::drainMainQueue();
  EXPECT_EQ(calls, 1);
}

struct ServerDisconnect {
  std::string name;
  std::string event;
  Items items;
  std::string reason;
};

class SocketManagerServerDisconnect : public SocketManagerTest,
                                      public ::testing::WithParamInterface<ServerDisconnect> {};

TEST_P(SocketManagerServerDisconnect, ReportsItsReasonAndFailsPendingAcknowledgements) {
  connect();
  std::optional<std::expected<Items, SocketIOError>> pending;
  socket_->emitWithAck("sink", {}, 0ms, [&](auto result) { pending = std::move(result); });
  socket_->emit(GetParam().event, GetParam().items);
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count(SocketClientEvent::disconnect) > 0; }));
  EXPECT_EQ(watch_->last(SocketClientEvent::disconnect), Items{GetParam().reason});
  EXPECT_EQ(socket_->status(), SocketIOStatus::disconnected);
  EXPECT_TRUE(socket_->sid().empty());
  ASSERT_TRUE(runMainLoopUntil([&] { return pending.has_value(); }));
  EXPECT_EQ(pending->error(), SocketIOError::disconnected);
  // Without a socket in use the connection is closed, and a later connect opens a new one.
  ASSERT_TRUE(runMainLoopUntil([&] { return manager_->status() == SocketIOStatus::disconnected; }));
  ASSERT_TRUE(sockettest::connectAndWait(*socket_, *watch_));
  EXPECT_TRUE(sockettest::ask(*socket_, "ack", {}).has_value());
  EXPECT_EQ(watch_->count(SocketClientEvent::disconnect), 1u);
  EXPECT_EQ(watch_->count(SocketClientEvent::error), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SocketManagerServerDisconnect,
    ::testing::Values(
        ServerDisconnect{"NamespaceLeave", "disconnectMe", {false}, "io server disconnect"},
        ServerDisconnect{"WholeConnection", "disconnectMe", {true}, "io server disconnect"},
        ServerDisconnect{"DroppedTransport", "dropTransport", {}, "transport close"}),
    [](const auto& info) { return info.param.name; });

TEST_F(SocketManagerTest, ClientDisconnectLeavesTheServerAndClosesTheConnection) {
  connect();
  socket_->disconnect();
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count(SocketClientEvent::disconnect) == 1; }));
  EXPECT_EQ(watch_->last(SocketClientEvent::disconnect), Items{"io client disconnect"});
  ASSERT_TRUE(serverSeesNoSocket());
  const auto state = sockettest::serverState(backend());
  EXPECT_EQ(state["disconnects"].back()["reason"], "client namespace disconnect");
  EXPECT_EQ(manager_->status(), SocketIOStatus::disconnected);
}

TEST_F(SocketManagerTest, HeartbeatIsAnsweredAndItsLossDetected) {
  // Frequent pings, but a generous timeout: a loaded machine must not look like a dead peer.
  sockettest::setHeartbeat(backend(), 100, 1000);
  connect();
  // Pings come and are answered: the server would otherwise drop us within 300 ms.
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count(SocketClientEvent::ping) >= 3; }));
  EXPECT_EQ(watch_->count(SocketClientEvent::disconnect), 0u);

  socket_->emit("stopHeartbeat", {});
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count(SocketClientEvent::disconnect) == 1; }));
  EXPECT_EQ(watch_->last(SocketClientEvent::disconnect), Items{"ping timeout"});
  // Every ping was answered (reported before the disconnect, in order).
  EXPECT_EQ(watch_->count(SocketClientEvent::pong), watch_->count(SocketClientEvent::ping));
  EXPECT_EQ(socket_->status(), SocketIOStatus::disconnected);
  // The dead connection is closed from our side.
  ASSERT_TRUE(serverSeesNoSocket());
}

TEST_F(SocketManagerTest, NamespaceMiddlewareRefusalIsReportedAsAnError) {
  auto manager = sockettest::makeManager();
  auto refused = manager->socket("refused");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->nsp(), "/refused");
  auto watch = SocketWatch::attach(*refused);
  refused->connect();
  ASSERT_TRUE(runMainLoopUntil([&] { return watch->count(SocketClientEvent::error) == 1; }));
  EXPECT_EQ(watch->last(SocketClientEvent::error),
            Items{SocketData({{"message", "not allowed"}, {"data", {{"code", 42}}}})});
  EXPECT_EQ(refused->status(), SocketIOStatus::disconnected);
  EXPECT_EQ(watch->count(SocketClientEvent::connect), 0u);
  EXPECT_EQ(watch->count(SocketClientEvent::disconnect), 0u);
  ASSERT_TRUE(runMainLoopUntil([&] { return manager->status() == SocketIOStatus::disconnected; }));
}

TEST_F(SocketManagerTest, NamespacesShareTheConnectionAndKeepTheirEventsApart) {
  connect({}, {"echo"});
  auto chat = manager_->socket("/chat");
  EXPECT_EQ(manager_->socket("chat"), chat);
  auto chatWatch = SocketWatch::attach(*chat, {"echo"});
  ASSERT_TRUE(sockettest::connectAndWait(*chat, *chatWatch));
  chat->emit("echo", {"on chat"});
  socket_->emit("echo", {"on root"});
  ASSERT_TRUE(runMainLoopUntil(
      [&] { return watch_->count("echo") == 1 && chatWatch->count("echo") == 1; }));
  EXPECT_EQ(chatWatch->last("echo"), Items{"on chat"});
  EXPECT_EQ(watch_->last("echo"), Items{"on root"});
  EXPECT_EQ(sockettest::serverState(backend())["handshakes"], 1);

  // A server's DISCONNECT with a reason, as some servers send it, leaves that namespace only.
  socket_->emit("raw", {SocketData::array({R"(41/chat,"kicked by an admin")"})});
  ASSERT_TRUE(
      runMainLoopUntil([&] { return chatWatch->count(SocketClientEvent::disconnect) == 1; }));
  EXPECT_EQ(chatWatch->last(SocketClientEvent::disconnect), Items{"kicked by an admin"});
  EXPECT_TRUE(sockettest::ask(*socket_, "ack", {}).has_value());
  EXPECT_EQ(watch_->count(SocketClientEvent::disconnect), 0u);
  EXPECT_EQ(watch_->count(SocketClientEvent::error), 0u);
}

TEST_F(SocketManagerTest, NamespacesAPacketCannotCarryAreRefused) {
  auto manager = sockettest::makeManager();
  EXPECT_FALSE(manager->socket("/a,b"));
  EXPECT_FALSE(manager->socket(std::string("/a\0b", 4)));
  EXPECT_FALSE(manager->socket("/\xff"));
  EXPECT_EQ(manager->socket("/"), manager->defaultSocket());
}

TEST_F(SocketManagerTest, AuthParametersAndHeadersReachTheServer) {
  manager_ = sockettest::makeManager({SocketIOClientOption::connectParams({{"token", "a b&c=d%"}}),
                                      SocketIOClientOption::extraHeaders({{"X-Test", "yes"}})});
  socket_ = manager_->defaultSocket();
  watch_ = SocketWatch::attach(*socket_);
  socket_->connect({{"user", "u1"}});
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count(SocketClientEvent::connect) == 1; }));
  auto who = sockettest::ask(*socket_, "whoami", {});
  ASSERT_TRUE(who.has_value());
  const auto& me = (*who)[0];
  EXPECT_EQ(me["auth"], SocketData({{"user", "u1"}}));
  EXPECT_EQ(me["query"]["token"], "a b&c=d%");
  EXPECT_EQ(me["query"]["EIO"], "4");
  EXPECT_EQ(me["xHeaders"], SocketData({{"x-test", "yes"}}));
}

class SocketManagerCompression : public SocketManagerTest,
                                 public ::testing::WithParamInterface<bool> {};

TEST_P(SocketManagerCompression, IsOfferedUnlessSwitchedOff) {
  connect({SocketIOClientOption::compress(GetParam())}, {"echo"});
  auto who = sockettest::ask(*socket_, "whoami", {});
  ASSERT_TRUE(who.has_value());
  EXPECT_EQ((*who)[0]["extensions"] == "permessage-deflate", GetParam()) << (*who)[0];
  const std::string text(200000, 'z');
  socket_->emit("echo", {text});
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count("echo") == 1; }));
  EXPECT_EQ(watch_->last("echo"), Items{text});
}

INSTANTIATE_TEST_SUITE_P(OnOff, SocketManagerCompression, ::testing::Bool());

struct MalformedInput {
  std::string name;
  SocketData frames;
};

class SocketManagerMalformedInput : public SocketManagerTest,
                                    public ::testing::WithParamInterface<MalformedInput> {};

TEST_P(SocketManagerMalformedInput, EndsTheConnectionWithAParseError) {
  connect({}, {"x"});
  socket_->emit("raw", {GetParam().frames});
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count(SocketClientEvent::disconnect) == 1; }));
  EXPECT_EQ(watch_->last(SocketClientEvent::disconnect), Items{"parse error"});
  const auto error = watch_->last(SocketClientEvent::error);
  ASSERT_EQ(error.size(), 1u);
  EXPECT_TRUE(error[0].get<std::string>().starts_with("protocol error")) << error[0];
  EXPECT_EQ(watch_->count("x"), 0u);
  ASSERT_TRUE(serverSeesNoSocket());
}

INSTANTIATE_TEST_SUITE_P(
    Frames, SocketManagerMalformedInput,
    ::testing::Values(
        MalformedInput{"UnknownEngineType", SocketData::array({"9"})},
        MalformedInput{
            "SecondOpenPacket",
            SocketData::array({R"(0{"sid":"x","pingInterval":1000,"pingTimeout":1000})"})},
        MalformedInput{"UnreadableAttachmentCount", SocketData::array({R"(45x-["x"])"})},
        MalformedInput{"TextWhileAttachmentsAreDue",
                       SocketData::array({R"(452-["x",{"_placeholder":true,"num":0}])",
                                          binaryFrame({1}), R"(42["x"])"})},
        MalformedInput{"StrayAttachment", SocketData::array({binaryFrame({1, 2})})}),
    [](const auto& info) { return info.param.name; });

struct UnreadablePacket {
  std::string name;
  SocketData frames;
  std::string named;  // what the error event says of the packet
};

class SocketManagerUnreadablePacket : public SocketManagerTest,
                                      public ::testing::WithParamInterface<UnreadablePacket> {};

TEST_P(SocketManagerUnreadablePacket, IsDroppedAloneWithAnErrorNamingIt) {
  connect({}, {"x"});
  auto frames = GetParam().frames;
  frames.push_back(R"(42["x","after"])");
  socket_->emit("raw", {frames});
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count("x") == 1; }));
  EXPECT_EQ(watch_->last("x"), Items{"after"});
  ASSERT_EQ(watch_->count(SocketClientEvent::error), 1u);
  const auto error = watch_->last(SocketClientEvent::error).at(0).get<std::string>();
  EXPECT_NE(error.find(GetParam().named), std::string::npos) << error;
  EXPECT_EQ(watch_->count(SocketClientEvent::disconnect), 0u);
  EXPECT_TRUE(sockettest::ask(*socket_, "ack", {}).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, SocketManagerUnreadablePacket,
    ::testing::Values(
        UnreadablePacket{"NaN", SocketData::array({R"(42["x",NaN])"}), "EVENT packet on /"},
        UnreadablePacket{"Infinity", SocketData::array({R"(427["x",-Infinity])"}),
                         "EVENT packet on / (id 7)"},
        UnreadablePacket{"LoneSurrogate", SocketData::array({R"(42["x","\ud800"])"}),
                         "payload is not JSON"},
        UnreadablePacket{"EventWithoutName", SocketData::array({"42[]"}), "wrong shape"},
        // Its attachment is taken and dropped with it.
        UnreadablePacket{
            "BinaryWithNaN",
            SocketData::array({R"(451-["x",NaN,{"_placeholder":true,"num":0}])", binaryFrame({1})}),
            "EVENT packet on /"},
        UnreadablePacket{
            "PlaceholderPastTheAttachments",
            SocketData::array({R"(451-["x",{"_placeholder":true,"num":1}])", binaryFrame({1})}),
            "placeholder names no attachment"}),
    [](const auto& info) { return info.param.name; });

TEST_F(SocketManagerTest, EventsForNamespacesWithoutASocketAreIgnored) {
  connect({}, {"x"});
  socket_->emit("raw", {SocketData::array({R"(42/nobody,["x",1])", R"(42["x",2])"})});
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count("x") == 1; }));
  EXPECT_EQ(watch_->last("x"), Items{2});
  EXPECT_EQ(watch_->count(SocketClientEvent::disconnect), 0u);
}

// MARK: - TLS

class SocketManagerTLS : public SocketManagerTest,
                         public ::testing::WithParamInterface<std::string> {};

TEST_P(SocketManagerTLS, RefusesAServerItCannotVerify) {
  std::string url = "https://socket.brelum.io";
  if (GetParam() == "WrongHost") {
    ASSERT_TRUE(platform::ConnectToTable::shared().add("wrong.example", 443, "127.0.0.1",
                                                       backend().httpsPort()));
    url = "https://wrong.example";
  } else {
    platform::clearExtraTrustedCAFile();
  }
  auto manager = sockettest::makeManager({}, url);
  auto socket = manager->defaultSocket();
  auto watch = SocketWatch::attach(*socket);
  socket->connect();
  ASSERT_TRUE(runMainLoopUntil([&] { return watch->count(SocketClientEvent::disconnect) == 1; }));
  const auto error = watch->last(SocketClientEvent::error);
  ASSERT_EQ(error.size(), 1u);
  const auto expected = GetParam() == "WrongHost" ? "the certificate is not for wrong.example"
                                                  : "unable to get local issuer certificate";
  EXPECT_NE(error[0].get<std::string>().find(expected), std::string::npos) << error[0];
  EXPECT_EQ(watch->last(SocketClientEvent::disconnect), Items{"transport error"});
  EXPECT_EQ(watch->count(SocketClientEvent::connect), 0u);
  EXPECT_EQ(sockettest::serverState(backend())["handshakes"], 0);
}

INSTANTIATE_TEST_SUITE_P(Verification, SocketManagerTLS,
                         ::testing::Values("WrongHost", "UnknownCA"));

struct UnusableSetting {
  std::string name;
  std::string url;
  socketio::SocketIOClientConfiguration config;
  std::string problem;
};

class SocketManagerUnusableSetting : public SocketManagerTest,
                                     public ::testing::WithParamInterface<UnusableSetting> {};

TEST_P(SocketManagerUnusableSetting, IsReportedWhenConnecting) {
  auto manager = sockettest::makeManager(GetParam().config, GetParam().url);
  auto watch = SocketWatch::attach(*manager->defaultSocket());
  manager->defaultSocket()->connect();
  ASSERT_TRUE(runMainLoopUntil([&] { return watch->count(SocketClientEvent::disconnect) == 1; }));
  const auto error = watch->last(SocketClientEvent::error).at(0).get<std::string>();
  EXPECT_NE(error.find(GetParam().problem), std::string::npos) << error;
  EXPECT_EQ(sockettest::serverState(backend())["handshakes"], 0);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SocketManagerUnusableSetting,
    ::testing::Values(UnusableSetting{"Scheme", "ftp://socket.brelum.io", {}, "ftp"},
                      UnusableSetting{
                          "HeaderValue",
                          "https://socket.brelum.io",
                          {SocketIOClientOption::extraHeaders({{"X-Bad", "no\r\nX-Injected: 1"}})},
                          "\"X-Bad\" holds a line break"},
                      UnusableSetting{"HeaderName",
                                      "https://socket.brelum.io",
                                      {SocketIOClientOption::extraHeaders({{"X Bad", "v"}})},
                                      "\"X Bad\" is not a header name"}),
    [](const auto& info) { return info.param.name; });

// MARK: - Reconnection by the library itself

TEST_F(SocketManagerTest, ReconnectsByItselfWhenAsked) {
  connect({SocketIOClientOption::reconnects(true), SocketIOClientOption::reconnectWait(50ms)}, {});
  socket_->emit("dropTransport", {});
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count(SocketClientEvent::connect) == 2; }));
  EXPECT_EQ(watch_->count(SocketClientEvent::disconnect), 0u);
  EXPECT_EQ(watch_->last(SocketClientEvent::reconnect), Items{"transport close"});
  EXPECT_EQ(watch_->last(SocketClientEvent::reconnectAttempt), Items{-1});
  EXPECT_TRUE(sockettest::ask(*socket_, "ack", {}).has_value());
}

TEST_F(SocketManagerTest, GivesUpReconnectingAfterItsAttempts) {
  connect({SocketIOClientOption::reconnects(true), SocketIOClientOption::reconnectWait(20ms),
           SocketIOClientOption::reconnectAttempts(2)});
  // Port 1 of loopback refuses every new connection.
  ASSERT_TRUE(platform::ConnectToTable::shared().add("socket.brelum.io", 443, "127.0.0.1", 1));
  socket_->emit("dropTransport", {});
  ASSERT_TRUE(runMainLoopUntil([&] { return watch_->count(SocketClientEvent::disconnect) == 1; }));
  EXPECT_EQ(watch_->last(SocketClientEvent::disconnect), Items{"reconnect failed"});
  EXPECT_EQ(watch_->count(SocketClientEvent::reconnectAttempt), 2u);
  EXPECT_EQ(watch_->count(SocketClientEvent::error), 2u);
  EXPECT_EQ(socket_->status(), SocketIOStatus::disconnected);
}

// MARK: - Lifetimes

TEST_F(SocketManagerTest, DestroyedInsideItsOwnConnectHandler) {
  auto manager = sockettest::makeManager();
  int calls = 0;
  manager->defaultSocket()->on(SocketClientEvent::connect,
                               [&](const Items&, const SocketAckEmitter&) {
                                 ++calls;
                                 manager.reset();
                               });
  manager->defaultSocket()->on(SocketClientEvent::connect,
                               [&](const Items&, const SocketAckEmitter&) { ++calls; });
  manager->defaultSocket()->connect();
  ASSERT_TRUE(runMainLoopUntil([&] { return !manager; }));
  ASSERT_TRUE(serverSeesNoSocket());
  testsupport::drainMainQueue();
  EXPECT_EQ(calls, 1);
}

TEST_F(SocketManagerTest, DestroyedInsideAnEventHandlerWithMoreEventsQueued) {
  connect();
  int ticks = 0;
  socket_->on("tick", [&](const Items&, const SocketAckEmitter&) {
    ++ticks;
    manager_.reset();
  });
  socket_->emit("flood", {{{"event", "tick"}, {"count", 500}}});
  ASSERT_TRUE(runMainLoopUntil([&] { return !manager_; }));
  ASSERT_TRUE(serverSeesNoSocket());
  testsupport::drainMainQueue();
  EXPECT_EQ(ticks, 1);
  // The socket outlives its manager and does nothing.
  EXPECT_FALSE(socket_->manager());
  std::optional<std::expected<void, SocketIOError>> written;
  socket_->emit("echo", {}, [&](auto result) { written = result; });
  ASSERT_TRUE(runMainLoopUntil([&] { return written.has_value(); }));
  EXPECT_EQ(written->error(), SocketIOError::cancelled);
}

TEST_F(SocketManagerTest, DestroyedMidHandshakeRunsNoHandler) {
  auto manager = sockettest::makeManager();
  auto watch = SocketWatch::attach(*manager->defaultSocket());
  manager->defaultSocket()->connect();
  manager.reset();
  testsupport::drainMainQueue();
  // Whatever reached the server is gone again.
  ASSERT_TRUE(serverSeesNoSocket());
  EXPECT_EQ(watch->count(SocketClientEvent::connect), 0u);
  EXPECT_EQ(watch->count(SocketClientEvent::disconnect), 0u);
}

TEST_F(SocketManagerTest, DestroyedWithAcknowledgementsPendingCancelsEachOnce) {
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
  std::optional<std::expected<void, SocketIOError>> flushed;
  socket_->emit("sink", {}, [&](auto result) { flushed = result; });
  ASSERT_TRUE(runMainLoopUntil([&] { return flushed.has_value(); }));
  manager_.reset();
  ASSERT_TRUE(runMainLoopUntil([&] { return outcomes.size() == 3; }));
  testsupport::drainMainQueue();
  EXPECT_EQ(outcomes, std::vector<SocketIOError>(3, SocketIOError::cancelled));
  EXPECT_EQ(offMain, 0);
}

TEST_F(SocketManagerTest, DestroyedOnAnotherThreadWhileEventsArrive) {
  manager_ = sockettest::makeManager(
      {SocketIOClientOption::handleQueue(platform::DispatchQueue::global())});
  socket_ = manager_->defaultSocket();
  // Shared: a handler already under way on the other thread may finish after the test.
  auto connected = std::make_shared<std::atomic<bool>>(false);
  auto ticks = std::make_shared<std::atomic<int>>(0);
  socket_->on(SocketClientEvent::connect,
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
