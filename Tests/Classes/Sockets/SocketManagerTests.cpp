// The framework's socket wrapper against the stand-in's Socket.IO server, over TLS under the
// server's real name. Reconnects are observed through the library's log: with `verbose` on,
// every socket.connect() writes one console line on the thread that called it.
#include "Classes/Sockets/SocketManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Dispatch/MainThread.h"
#include "Platform/Foundation/Console.h"
#include "Platform/Foundation/URL.h"
#include "Tests/Support/Backend.h"
#include "Tests/Support/MainLoopPump.h"

namespace {

using namespace std::chrono_literals;
using brelum::SocketManager;
using socketio::SocketClientEvent;
using socketio::SocketData;
using testsupport::runMainLoopUntil;
using Clock = std::chrono::steady_clock;
using Items = std::vector<SocketData>;

// Every socket.connect() of the library, from whichever thread made it.
class ConnectCalls {
 public:
  struct Call {
    Clock::time_point at;
    bool onMainThread;
  };

  ConnectCalls() {
    previous_ = platform::Console::setSink([state = state_](std::string_view line) {
      if (line != "SocketIO: socket /: connect") return;
      std::lock_guard lock(state->mutex);
      state->calls.push_back({Clock::now(), platform::isMainThread()});
    });
  }
  ~ConnectCalls() { platform::Console::setSink(std::move(previous_)); }

  std::vector<Call> take() {
    std::lock_guard lock(state_->mutex);
    return std::exchange(state_->calls, {});
  }
  std::size_t count() const {
    std::lock_guard lock(state_->mutex);
    return state_->calls.size();
  }

 private:
  struct State {
    mutable std::mutex mutex;
    std::vector<Call> calls;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
  platform::Console::Sink previous_;
};

// What the wrapper's host sees of connects and disconnects, on the main queue.
struct Transitions {
  std::vector<Clock::time_point> connects;
  std::vector<Clock::time_point> disconnects;
  int offMainQueue = 0;

  void watch(SocketManager& wrapper) {
    wrapper.subscribe(SocketClientEvent::connect, [this] { note(connects); });
    wrapper.subscribe(SocketClientEvent::disconnect, [this] { note(disconnects); });
  }
  void note(std::vector<Clock::time_point>& list) {
    if (!platform::DispatchQueue::main()->isCurrent()) ++offMainQueue;
    list.push_back(Clock::now());
  }
};

class SocketWrapperTest : public testsupport::BackendTest {
 protected:
  void SetUp() override {
    BackendTest::SetUp();
    calls_ = std::make_unique<ConnectCalls>();
  }
  void TearDown() override {
    wrapper_.reset();
    calls_.reset();
    BackendTest::TearDown();
  }

  // A wrapper as the facade makes it, for the verified socket endpoint, with verbose on.
  void make(std::string_view url = "https://socket.brelum.io", bool verbose = true,
            bool debug = false) {
    wrapper_ = SocketManager::make(*platform::URL::make(url), verbose, debug);
    transitions_ = std::make_shared<Transitions>();
    transitions_->watch(*wrapper_);
  }

  SocketData serverState() {
    return SocketData::parse(backend().request("GET", "/__socketio/state").value().body);
  }

  // A reconnect is due about a second after a disconnect; one that has not come seconds
  // later is not coming, even on a loaded machine.
  static constexpr Clock::duration kNoReconnectWait = 3s;

  // Pumps the main loop for `duration`, to see that something does not happen.
  static void pumpFor(Clock::duration duration) {
    runMainLoopUntil([] { return false; }, duration);
  }

  std::unique_ptr<ConnectCalls> calls_;
  std::shared_ptr<SocketManager> wrapper_;
  std::shared_ptr<Transitions> transitions_;
};

// Whichever way the server ends the socket, the wrapper connects it once again, about one
// second later, on the main queue; the connect callback is one-shot.
TEST_F(SocketWrapperTest, ReconnectsOnceAboutOneSecondAfterEveryServerDisconnect) {
  make();
  int callbacks = 0;
  wrapper_->connect([&](bool connected) { callbacks += connected ? 1 : 100; });
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 1; }));
  ASSERT_EQ(calls_->take().size(), 1u);
  const std::vector<std::pair<std::string, SocketData>> kinds{
      {"disconnectMe", false}, {"disconnectMe", true}, {"dropTransport", nullptr}};
  for (std::size_t n = 1; const auto& [event, param] : kinds) {
    wrapper_->emit(event, param);
    ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == n + 1; }));
    testsupport::drainMainQueue();
    ASSERT_EQ(transitions_->disconnects.size(), n);
    const auto calls = calls_->take();
    ASSERT_EQ(calls.size(), 1u) << event << param;
    EXPECT_TRUE(calls[0].onMainThread);
    EXPECT_GE(calls[0].at - transitions_->disconnects[n++ - 1], 900ms);
  }
  EXPECT_EQ(callbacks, 1);
  EXPECT_EQ(transitions_->offMainQueue, 0);
  EXPECT_EQ(serverState()["connects"]["/"], 4);
}

// Each connect() adds a one-shot connect callback and a reconnect on every disconnect;
// disconnect() stops reconnecting until the next connect().
TEST_F(SocketWrapperTest, ConnectCallsAddReconnectsAndDisconnectStopsThem) {
  make();
  std::vector<int> callbacks(3, 0);
  for (auto& count : callbacks) {
    wrapper_->connect([&count](bool connected) { count += connected ? 1 : 100; });
  }
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 1; }));
  EXPECT_EQ(calls_->take().size(), 3u);
  wrapper_->emit("disconnectMe", false);
  ASSERT_TRUE(runMainLoopUntil([&] { return calls_->count() == 3; }));
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 2; }));
  testsupport::drainMainQueue();
  for (const auto& call : calls_->take()) {
    EXPECT_TRUE(call.onMainThread);
    EXPECT_GE(call.at - transitions_->disconnects.at(0), 900ms);
  }
  // The library joins once however often it is asked while connecting.
  EXPECT_EQ(serverState()["connects"]["/"], 2);
  EXPECT_EQ(callbacks, std::vector<int>(3, 1));

  wrapper_->disconnect();
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->disconnects.size() == 2; }));
  pumpFor(kNoReconnectWait);
  EXPECT_EQ(calls_->count(), 0u);
  EXPECT_EQ(serverState()["connected"]["/"], 0);
  wrapper_->connect([](bool) {});
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 3; }));
  calls_->take();
  wrapper_->emit("disconnectMe", true);
  ASSERT_TRUE(runMainLoopUntil([&] { return calls_->count() == 4; }));
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 4; }));
  testsupport::drainMainQueue();
  EXPECT_EQ(calls_->take().size(), 4u) << "four connect() calls, four disconnect handlers";

  // Reconnects already scheduled still run after disconnect(), called here by a handler that
  // runs after those of connect().
  wrapper_->subscribe(SocketClientEvent::disconnect, [this] { wrapper_->disconnect(); });
  wrapper_->emit("disconnectMe", false);
  ASSERT_TRUE(runMainLoopUntil([&] { return calls_->count() == 4; }));
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 5; }));
}

// Released while connected, the wrapper disconnects its socket; released once a reconnect
// is scheduled, it reconnects no more.
TEST_F(SocketWrapperTest, AReleasedWrapperDisconnectsAndReconnectsNoMore) {
  make();
  wrapper_->connect([](bool) {});
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 1; }));
  wrapper_.reset();
  ASSERT_TRUE(runMainLoopUntil([&] { return serverState()["connected"]["/"] == 0; }));
  EXPECT_EQ(serverState()["disconnects"][0]["reason"], "client namespace disconnect");

  make();
  wrapper_->connect([](bool) {});
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 1; }));
  calls_->take();
  wrapper_->emit("disconnectMe", false);
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->disconnects.size() == 1; }));
  wrapper_.reset();
  pumpFor(kNoReconnectWait);
  EXPECT_EQ(calls_->count(), 0u);
  EXPECT_EQ(serverState()["connected"]["/"], 0);
}

// Debugging hosts talk plain WebSocket to an http:// endpoint (the back end's plain port does
// not speak TLS); the library stays quiet unless the wrapper is verbose.
TEST_F(SocketWrapperTest, DebuggingReachesAPlainEndpointAndAQuietWrapperLogsNothing) {
  calls_.reset();
  platform::ConsoleCapture console;
  make("http://socket.brelum.io", false, true);
  std::vector<std::string> echoes;
  wrapper_->subscribe<std::string>(
      SocketManager::On{"echo"},
      std::function<void(std::string)>([&](std::string text) { echoes.push_back(text); }));
  wrapper_->connect([](bool) {});
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 1; }));
  wrapper_->emit("echo", "plain");
  ASSERT_TRUE(runMainLoopUntil([&] { return echoes.size() == 1; }));
  EXPECT_EQ(echoes[0], "plain");
  wrapper_->disconnect();
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->disconnects.size() == 1; }));
  EXPECT_EQ(console.lines(), std::vector<std::string>{});
}

// Typed handlers deliver the first item when it is a T and skip the event otherwise;
// one-shot handlers are used up by the first event, delivered or not; untyped handlers ignore
// the data. The wrapper emits exactly one item, whatever it is.
TEST_F(SocketWrapperTest, SubscriptionsDeliverWhatFitsAndEmitsCarryOneItem) {
  make();
  std::map<std::string, Items> got;
  const auto typed = [&](auto subscription, auto type) {
    using T = decltype(type);
    const std::string name = subscription.event;
    wrapper_->subscribe<T>(
        subscription, std::function<void(T)>([&, name](T value) { got[name].push_back(value); }));
  };
  typed(SocketManager::On{"on"}, std::string());
  typed(SocketManager::Once{"once"}, std::string());
  typed(SocketManager::Once{"spent"}, std::string());
  typed(SocketManager::On{"itemCount"}, std::int64_t());
  for (const std::string name : {"untyped", "done"}) {
    wrapper_->subscribe(SocketManager::On{name}, [&, name] { got[name].push_back(nullptr); });
  }
  wrapper_->subscribe(SocketManager::Once{"untypedOnce"},
                      [&] { got["untypedOnce"].push_back(nullptr); });
  wrapper_->connect([](bool) {});
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 1; }));

  const std::vector<std::pair<std::string, Items>> events{
      {"on", {"a", "b"}},  {"on", {}},          {"on", {nullptr}},    {"on", {42}},
      {"on", {"ok"}},      {"once", {"first"}}, {"once", {"second"}}, {"spent", {1}},
      {"spent", {"late"}}, {"untyped", {}},     {"untyped", {1}},     {"untyped", {"x", "y"}},
      {"untypedOnce", {}}, {"untypedOnce", {}}};
  for (const auto& [event, items] : events) {
    wrapper_->emit("reply", {{"event", event}, {"items", items}});
  }
  for (const auto& params :
       {SocketData(nullptr), SocketData::array({1, 2, 3}), SocketData::binary({1, 2})}) {
    wrapper_->emit("countItems", params);
  }
  // Events arrive in order: once "done" is in, every one before it is too.
  wrapper_->emit("reply", {{"event", "done"}, {"items", SocketData::array()}});
  ASSERT_TRUE(runMainLoopUntil([&] { return got.contains("done"); }));
  EXPECT_EQ(got["on"], (Items{"a", "ok"}));
  EXPECT_EQ(got["once"], Items{"first"});
  EXPECT_EQ(got["spent"], Items{});
  EXPECT_EQ(got["untyped"], Items(3, nullptr));
  EXPECT_EQ(got["untypedOnce"], Items{nullptr});
  EXPECT_EQ(got["itemCount"], Items(3, SocketData(1)));
}

}  // namespace
