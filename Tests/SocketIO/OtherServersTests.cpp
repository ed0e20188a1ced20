// The client against the stand-in's scripted server (Tools/routes/socketioScripted.mjs),
// which writes the frames that servers other than the socket.io package send, and sees the
// frames exactly as the client wrote them.
#include "SocketIO/SocketManager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Tests/SocketIO/SocketWatch.h"
#include "Tests/Support/MainLoopPump.h"

namespace {

using namespace std::chrono_literals;
using socketio::SocketAckEmitter;
using socketio::SocketClientEvent;
using socketio::SocketData;
using socketio::SocketIOClientOption;
using socketio::SocketIOError;
using sockettest::Items;
using sockettest::SocketWatch;
using ::testing::AllOf;
using ::testing::HasSubstr;
using testsupport::runMainLoopUntil;

class OtherServersTest : public testsupport::BackendTest {
 protected:
  void connect(const std::string& scenario, socketio::SocketIOClientConfiguration config = {}) {
    manager_ = sockettest::makeScriptedManager(scenario, std::move(config));
    socket_ = manager_->defaultSocket();
    watch_ = SocketWatch::attach(*socket_);
    ASSERT_TRUE(sockettest::connectAndWait(*socket_, *watch_));
  }

  SocketData scripted() { return sockettest::serverState(backend(), "/__scripted/state"); }

  std::shared_ptr<socketio::SocketManager> manager_;
  std::shared_ptr<socketio::SocketIOClient> socket_;
  std::shared_ptr<SocketWatch> watch_;
};

TEST_F(OtherServersTest, EventsSentBeforeTheConnectAnswerFollowTheConnectEventInOrder) {
  manager_ = sockettest::makeScriptedManager("greetFirst");
  std::map<std::string, std::vector<std::string>> seen;
  for (const auto& socket : {manager_->defaultSocket(), manager_->socket("/chat")}) {
    auto& mine = seen[socket->nsp()];
    socket->on(SocketClientEvent::connect,
               [&mine](const Items&, const SocketAckEmitter&) { mine.push_back("connect"); });
    socket->on("greet", [&mine](const Items& items, const SocketAckEmitter&) {
      mine.push_back("greet " + items.at(0).dump());
    });
    socket->connect();
  }
  ASSERT_TRUE(runMainLoopUntil([&] { return seen["/"].size() + seen["/chat"].size() == 6; }));
  const std::vector<std::string> expected{"connect", "greet 1", "greet 2"};
  EXPECT_EQ(seen["/"], expected);
  EXPECT_EQ(seen["/chat"], expected);
}

// Mersenne Twister outputs give away the generator's state: 624 of them predict the rest.
bool followsMersenneTwister(const std::vector<std::uint32_t>& outputs) {
  std::vector<std::uint32_t> state;
  for (std::uint32_t y : outputs) {  // untempered
    y ^= y >> 18;
    y ^= (y << 15) & 0xEFC60000u;
    std::uint32_t x = y;
    for (int i = 0; i < 5; ++i) x = y ^ ((x << 7) & 0x9D2C5680u);
    y = x;
    for (int i = 0; i < 3; ++i) x = y ^ (x >> 11);
    state.push_back(x);
  }
  for (std::size_t i = 624; i < state.size(); ++i) {
    const std::uint32_t y = (state[i - 624] & 0x80000000u) | (state[i - 623] & 0x7FFFFFFFu);
    if ((state[i - 227] ^ (y >> 1) ^ ((y & 1) ? 0x9908B0DFu : 0)) != state[i]) return false;
  }
  return outputs.size() > 624;
}

TEST_F(OtherServersTest, MaskingKeysAreUnpredictableAndTheCommonPayloadLimitIsTheDefault) {
  std::mt19937 twister(7);
  std::vector<std::uint32_t> predictable(700);
  for (auto& output : predictable) output = twister();
  ASSERT_TRUE(followsMersenneTwister(predictable)) << "the check itself is broken";

  connect("noMaxPayload");
  for (int i = 0; i < 700; ++i) socket_->emit("x", {i});
  ASSERT_TRUE(sockettest::ask(*socket_, "flush", {}).has_value());
  std::vector<std::uint32_t> keys;
  const auto masks = scripted()["masks"];
  for (const auto& key : masks) keys.push_back(key.get<std::uint32_t>());
  ASSERT_GE(keys.size(), 702u);  // CONNECT, the events, the question
  EXPECT_FALSE(followsMersenneTwister(keys));
  // 32 random bits each: a repeat among 700 is a one in ten thousand chance.
  EXPECT_GE(std::set<std::uint32_t>(keys.begin(), keys.end()).size(), keys.size() - 1);

  // Without maxPayload in the handshake: "4", "2[\"x\",\"", the text and "\"]" are one byte
  // over 1000000.
  EXPECT_EQ(sockettest::written(*socket_, "x", {std::string(1000001 - 10, 'a')}),
            std::unexpected(SocketIOError::payloadTooLarge));
  EXPECT_TRUE(sockettest::ask(*socket_, "still", {1}).has_value());
  EXPECT_EQ(watch_->count(SocketClientEvent::disconnect), 0u);
}

TEST_F(OtherServersTest, ADeclinedUpgradeIsReportedWithItsStatusAndBody) {
  manager_ = sockettest::makeScriptedManager("decline");
  auto watch = SocketWatch::attach(*manager_->defaultSocket());
  manager_->defaultSocket()->connect();
  ASSERT_TRUE(watch->waitFor(SocketClientEvent::error, 1));
  EXPECT_THAT(watch->last(SocketClientEvent::error).at(0).get<std::string>(),
              AllOf(HasSubstr("HTTP 403"), HasSubstr("no WebSocket for this client")));
}

TEST_F(OtherServersTest, EmitsOverTheQueueBoundFailAtOnceAndWhatWasQueuedArrivesInOrder) {
  connect("stall", {SocketIOClientOption::maxQueuedBytes(512 * 1024)});
  // The server reads nothing now: the system's socket buffers fill, then our queue does.
  constexpr int kEmits = 60;
  const std::string padding(400 * 1024, 'p');
  // Shared: completions outlive a failed wait.
  auto shared =
      std::make_shared<std::vector<std::optional<std::expected<void, SocketIOError>>>>(kEmits);
  auto& results = *shared;
  for (int i = 0; i < kEmits; ++i) {
    socket_->emit("collect", {i, padding}, [shared, i](auto result) { (*shared)[i] = result; });
  }
  const auto failed = [&] {
    return std::ranges::count_if(results, [](const auto& r) { return r && !r->has_value(); });
  };
  ASSERT_TRUE(runMainLoopUntil([&] { return failed() > 0; }));
  ASSERT_TRUE(backend().request("POST", "/__scripted/resume").has_value());
  ASSERT_TRUE(runMainLoopUntil(
      [&] { return std::ranges::all_of(results, [](const auto& r) { return r.has_value(); }); }));
  ASSERT_TRUE(sockettest::ask(*socket_, "flush", {}).has_value());

  SocketData accepted = SocketData::array();
  for (int i = 0; i < kEmits; ++i) {
    if (results[i]->has_value()) accepted.push_back(i);
    EXPECT_TRUE(*results[i] || results[i]->error() == SocketIOError::sendQueueFull) << i;
  }
  EXPECT_EQ(scripted()["collected"], accepted);
  EXPECT_GT(accepted.size(), 0u);
  EXPECT_EQ(watch_->count(SocketClientEvent::disconnect), 0u);
}

}  // namespace
