// The framework's socket wrapper against the stand-in's Socket.IO server, over TLS under the
// server's real name. Reconnects are observed through the library's log: with `verbose` on,
// every socket.connect() writes one console line on the thread that called it.
#include "Classes/Sockets/SocketManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Dispatch/DispatchQueue.h"
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
    auto response = backend().request("GET", "/__socketio/state");
    if (!response || response->status != 200) {
      ADD_FAILURE() << "no Socket.IO state from the back end";
      return SocketData::object();
    }
    return SocketData::parse(response->body);
  }

  // Pumps the main loop for `duration`, to see that something does not happen.
  static void pumpFor(Clock::duration duration) {
    runMainLoopUntil([] { return false; }, duration);
  }

  std::unique_ptr<ConnectCalls> calls_;
  std::shared_ptr<SocketManager> wrapper_;
  std::shared_ptr<Transitions> transitions_;
};

struct ServerDisconnect {
  std::string name;
  std::string event;
  SocketData param;
};

class SocketWrapperReconnect : public SocketWrapperTest,
                               public ::testing::WithParamInterface<ServerDisconnect> {};

TEST_P(SocketWrapperReconnect, ConnectsOnceAgainAboutOneSecondLaterOnTheMainQueue) {
  make();
  int callbacks = 0;
  wrapper_->connect([&](bool connected) {
    EXPECT_TRUE(connected);
    ++callbacks;
  });
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 1; }));
  ASSERT_EQ(calls_->take().size(), 1u);

  wrapper_->emit(GetParam().event, GetParam().param);
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 2; }));
  testsupport::drainMainQueue();
  ASSERT_EQ(transitions_->disconnects.size(), 1u);
  const auto calls = calls_->take();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_TRUE(calls[0].onMainThread);
  const auto delay = calls[0].at - transitions_->disconnects[0];
  EXPECT_GE(delay, 900ms);
  EXPECT_LE(delay, 3s);
  EXPECT_EQ(callbacks, 1) << "the connect handler is one-shot";
  EXPECT_EQ(transitions_->offMainQueue, 0);
  EXPECT_EQ(serverState()["connects"]["/"], 2);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SocketWrapperReconnect,
    ::testing::Values(ServerDisconnect{"NamespaceLeave", "disconnectMe", false},
                      ServerDisconnect{"WholeConnection", "disconnectMe", true},
                      ServerDisconnect{"DroppedTransport", "dropTransport", nullptr}),
    [](const auto& info) { return info.param.name; });

TEST_F(SocketWrapperTest, EachConnectCallAddsAReconnect) {
  make();
  std::vector<int> callbacks(3, 0);
  for (auto& count : callbacks) {
    wrapper_->connect([&count](bool connected) { count += connected ? 1 : 100; });
  }
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 1; }));
  testsupport::drainMainQueue();
  EXPECT_EQ(callbacks, std::vector<int>(3, 1));
  EXPECT_EQ(calls_->take().size(), 3u);

  wrapper_->emit("disconnectMe", false);
  ASSERT_TRUE(runMainLoopUntil([&] { return calls_->count() == 3; }));
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 2; }));
  testsupport::drainMainQueue();
  const auto calls = calls_->take();
  ASSERT_EQ(calls.size(), 3u);
  for (const auto& call : calls) {
    EXPECT_TRUE(call.onMainThread);
    EXPECT_GE(call.at - transitions_->disconnects.at(0), 900ms);
  }
  // The library joins once however often it is asked while connecting.
  EXPECT_EQ(serverState()["connects"]["/"], 2);
  EXPECT_EQ(callbacks, std::vector<int>(3, 1));
}

TEST_F(SocketWrapperTest, DisconnectSuppressesTheReconnectUntilTheNextConnect) {
  make();
  wrapper_->connect([](bool) {});
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 1; }));
  calls_->take();

  wrapper_->disconnect();
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->disconnects.size() == 1; }));
  pumpFor(1500ms);
  EXPECT_EQ(calls_->count(), 0u);
  EXPECT_EQ(serverState()["connected"]["/"], 0);

  // A later connect() turns reconnecting on again.
  wrapper_->connect([](bool) {});
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 2; }));
  calls_->take();
  wrapper_->emit("disconnectMe", true);
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 3; }));
  EXPECT_EQ(calls_->take().size(), 2u) << "two connect() calls, two disconnect handlers";
}

TEST_F(SocketWrapperTest, AReconnectAlreadyScheduledStillConnectsAfterDisconnect) {
  make();
  wrapper_->connect([](bool) {});
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 1; }));
  calls_->take();
  // Subscribed after connect(), so it runs after the handler that schedules the reconnect.
  wrapper_->subscribe(SocketClientEvent::disconnect, [this] { wrapper_->disconnect(); });
  wrapper_->emit("disconnectMe", false);
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 2; }));
  EXPECT_EQ(calls_->take().size(), 1u);
}

TEST_F(SocketWrapperTest, ADroppedWrapperReconnectsNoMore) {
  make();
  wrapper_->connect([](bool) {});
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 1; }));
  calls_->take();
  wrapper_->emit("disconnectMe", false);
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->disconnects.size() == 1; }));
  // The reconnect step is scheduled; the wrapper goes before it runs.
  wrapper_.reset();
  pumpFor(1500ms);
  EXPECT_EQ(calls_->count(), 0u);
  EXPECT_EQ(serverState()["connected"]["/"], 0);
}

TEST_F(SocketWrapperTest, ReleasingAConnectedWrapperDisconnectsItsSocket) {
  make();
  wrapper_->connect([](bool) {});
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 1; }));
  wrapper_.reset();
  ASSERT_TRUE(runMainLoopUntil([&] { return serverState()["connected"]["/"] == 0; }));
  EXPECT_EQ(serverState()["disconnects"][0]["reason"], "client namespace disconnect");
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

// MARK: - Subscriptions

using Record = std::function<void(SocketData)>;
using Subscribe = std::function<void(SocketManager&, Record)>;

template <typename T>
Subscribe typedOn() {
  return [](SocketManager& wrapper, Record record) {
    wrapper.subscribe<T>(SocketManager::On{"typed"},
                         std::function<void(T)>([record](T value) { record(SocketData(value)); }));
  };
}

template <typename T>
Subscribe typedOnce() {
  return [](SocketManager& wrapper, Record record) {
    wrapper.subscribe<T>(SocketManager::Once{"typed"},
                         std::function<void(T)>([record](T value) { record(SocketData(value)); }));
  };
}

Subscribe untypedOn() {
  return [](SocketManager& wrapper, Record record) {
    wrapper.subscribe(SocketManager::On{"typed"}, [record] { record(nullptr); });
  };
}

Subscribe untypedOnce() {
  return [](SocketManager& wrapper, Record record) {
    wrapper.subscribe(SocketManager::Once{"typed"}, [record] { record(nullptr); });
  };
}

struct SubscriptionCase {
  std::string name;
  Subscribe subscribe;
  std::vector<SocketData> events;  // each the items of one "typed" event
  std::vector<SocketData> delivered;
};

class SocketWrapperSubscription : public SocketWrapperTest,
                                  public ::testing::WithParamInterface<SubscriptionCase> {};

TEST_P(SocketWrapperSubscription, DeliversWhatFitsAndSkipsTheRest) {
  make();
  auto delivered = std::make_shared<std::vector<SocketData>>();
  GetParam().subscribe(*wrapper_,
                       [delivered](SocketData value) { delivered->push_back(std::move(value)); });
  int done = 0;
  wrapper_->subscribe(SocketManager::On{"done"}, [&] { ++done; });
  wrapper_->connect([](bool) {});
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 1; }));

  for (const auto& items : GetParam().events) {
    wrapper_->emit("reply", {{"event", "typed"}, {"items", items}});
  }
  // Events arrive in order: once "done" is in, every "typed" event before it is too.
  wrapper_->emit("reply", {{"event", "done"}, {"items", SocketData::array()}});
  ASSERT_TRUE(runMainLoopUntil([&] { return done == 1; }));
  EXPECT_EQ(*delivered, GetParam().delivered);
}

SocketData kArray(std::initializer_list<SocketData> items = {}) {
  auto array = SocketData::array();
  for (const auto& item : items) array.push_back(item);
  return array;
}

INSTANTIATE_TEST_SUITE_P(
    Items, SocketWrapperSubscription,
    ::testing::Values(
        SubscriptionCase{
            "StringTakesTheFirstItemOnly", typedOn<std::string>(), {kArray({"a", "b"})}, {"a"}},
        SubscriptionCase{"StringSkipsMissingNullAndNumbers",
                         typedOn<std::string>(),
                         {kArray(), kArray({nullptr}), kArray({42}), kArray({"ok"})},
                         {"ok"}},
        SubscriptionCase{"OneShotIsSpentByAMistypedEvent",
                         typedOnce<std::string>(),
                         {kArray({1}), kArray({"late"})},
                         {}},
        SubscriptionCase{"OneShotDeliversOnce",
                         typedOnce<std::string>(),
                         {kArray({"first"}), kArray({"second"})},
                         {"first"}},
        SubscriptionCase{"UntypedIgnoresTheData",
                         untypedOn(),
                         {kArray(), kArray({1}), kArray({"x", "y"})},
                         {nullptr, nullptr, nullptr}},
        SubscriptionCase{"UntypedOneShot", untypedOnce(), {kArray(), kArray()}, {nullptr}}),
    [](const auto& info) { return info.param.name; });

TEST_F(SocketWrapperTest, EmitSendsExactlyOneItem) {
  make();
  std::vector<std::int64_t> counts;
  wrapper_->subscribe<std::int64_t>(
      SocketManager::On{"itemCount"},
      std::function<void(std::int64_t)>([&](std::int64_t count) { counts.push_back(count); }));
  wrapper_->connect([](bool) {});
  ASSERT_TRUE(runMainLoopUntil([&] { return transitions_->connects.size() == 1; }));
  wrapper_->emit("countItems", nullptr);
  wrapper_->emit("countItems", kArray({1, 2, 3}));
  wrapper_->emit("countItems", SocketData::binary({1, 2}));
  ASSERT_TRUE(runMainLoopUntil([&] { return counts.size() == 3; }));
  EXPECT_EQ(counts, std::vector<std::int64_t>(3, 1));
}

}  // namespace
