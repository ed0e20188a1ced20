#include "Platform/Network/ReachabilityTarget.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Tests/Support/MainLoopPump.h"
#include "Tests/Support/NetworkNamespace.h"

using namespace std::chrono_literals;
using platform::DispatchQueue;
using platform::ReachabilityFlags;
using platform::ReachabilityTarget;
using testsupport::NetworkNamespace;
using testsupport::runMainLoopUntil;

namespace {

using TargetResult = std::expected<std::shared_ptr<ReachabilityTarget>, int>;

constexpr auto kReachable = ReachabilityFlags::reachable;
constexpr auto kLocal =
    ReachabilityFlags::reachable | ReachabilityFlags::isLocalAddress | ReachabilityFlags::isDirect;
constexpr auto kOnLink = ReachabilityFlags::reachable | ReachabilityFlags::isDirect;

TargetResult makeForZeroAddress() {
  sockaddr_in zero{};
  zero.sin_family = AF_INET;
  return ReachabilityTarget::makeWithAddress(reinterpret_cast<const sockaddr*>(&zero), sizeof zero);
}

// Every callback of a target, with the flags it brought, in order.
struct Recorder {
  std::mutex mutex;
  std::vector<ReachabilityFlags> seen;
  bool allOnMain = true;

  static void record(ReachabilityTarget&, ReachabilityFlags flags, void* info) {
    auto& self = *static_cast<Recorder*>(info);
    std::lock_guard lock(self.mutex);
    self.seen.push_back(flags);
    self.allOnMain = self.allOnMain && DispatchQueue::main()->isCurrent();
  }
  std::size_t count() {
    std::lock_guard lock(mutex);
    return seen.size();
  }
  std::vector<ReachabilityFlags> all() {
    std::lock_guard lock(mutex);
    return seen;
  }
  ReachabilityTarget::Context context() { return {0, this, nullptr, nullptr, nullptr}; }
};

// Counts the context protocol's retains and releases of one info object.
struct Counted {
  std::atomic<int> retains = 0;
  std::atomic<int> releases = 0;

  static const void* retain(const void* info) {
    ++static_cast<Counted*>(const_cast<void*>(info))->retains;
    return info;
  }
  static void release(const void* info) {
    ++static_cast<Counted*>(const_cast<void*>(info))->releases;
  }
  static std::string describe(const void*) { return "counted"; }
  static void ignore(ReachabilityTarget&, ReachabilityFlags, void*) {}
  ReachabilityTarget::Context context() { return {0, this, &retain, &release, &describe}; }
};

// ---- Creation -------------------------------------------------------------------------

struct BadTargetCase {
  const char* label;
  std::function<TargetResult()> make;
  int error;
};

class ReachabilityTargetBadInput : public ::testing::TestWithParam<BadTargetCase> {};

TEST_P(ReachabilityTargetBadInput, IsRefusedWithErrno) {
  auto made = GetParam().make();
  ASSERT_FALSE(made);
  EXPECT_EQ(made.error(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Creation, ReachabilityTargetBadInput,
    ::testing::Values(
        BadTargetCase{"NullAddress",
                      [] { return ReachabilityTarget::makeWithAddress(nullptr, 16); }, EINVAL},
        BadTargetCase{"ShortIPv4",
                      [] {
                        sockaddr_in v4{};
                        v4.sin_family = AF_INET;
                        return ReachabilityTarget::makeWithAddress(
                            reinterpret_cast<const sockaddr*>(&v4), 8);
                      },
                      EINVAL},
        BadTargetCase{"UnixFamily",
                      [] {
                        sockaddr_storage unix{};
                        unix.ss_family = AF_UNIX;
                        return ReachabilityTarget::makeWithAddress(
                            reinterpret_cast<const sockaddr*>(&unix), sizeof unix);
                      },
                      EAFNOSUPPORT},
        BadTargetCase{"EmptyName", [] { return ReachabilityTarget::makeWithName(""); }, EINVAL},
        BadTargetCase{"NameLongerThanDNSAllows",
                      [] { return ReachabilityTarget::makeWithName(std::string(255, 'a')); },
                      EINVAL}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ReachabilityTargetTest, LoopbackLiteralIsReachableLocalAndDirect) {
  auto target = ReachabilityTarget::makeWithName("127.0.0.1");
  ASSERT_TRUE(target) << target.error();
  auto flags = (*target)->flags();
  ASSERT_TRUE(flags) << flags.error();
  EXPECT_EQ(*flags, kLocal);
}

// ---- The context protocol ---------------------------------------------------------------

TEST(ReachabilityTargetTest, ContextIsRetainedOnceAndReleasedWhenReplacedClearedOrDestroyed) {
  Counted first;
  Counted second;
  {
    auto target = makeForZeroAddress();
    ASSERT_TRUE(target);
    auto firstContext = first.context();
    ASSERT_TRUE((*target)->setCallback(&Counted::ignore, &firstContext));
    EXPECT_EQ(first.retains, 1);
    EXPECT_EQ(first.releases, 0);
    EXPECT_EQ((*target)->description(), "<ReachabilityTarget 0.0.0.0> {info = counted}");

    auto secondContext = second.context();
    ASSERT_TRUE((*target)->setCallback(&Counted::ignore, &secondContext));
    EXPECT_EQ(first.releases, 1);
    ASSERT_TRUE((*target)->setCallback(nullptr, nullptr));
    EXPECT_EQ(second.releases, 1);
    EXPECT_EQ((*target)->description(), "<ReachabilityTarget 0.0.0.0>");

    ASSERT_TRUE((*target)->setCallback(&Counted::ignore, &firstContext));
  }
  EXPECT_EQ(first.retains, 2);
  EXPECT_EQ(first.releases, 2);
  EXPECT_EQ(second.retains, 1);
  EXPECT_EQ(second.releases, 1);
}

TEST(ReachabilityTargetTest, ContextOfAnotherVersionIsRefusedAndNotRetained) {
  Counted counted;
  auto target = makeForZeroAddress();
  ASSERT_TRUE(target);
  auto context = counted.context();
  context.version = 1;
  auto set = (*target)->setCallback(&Counted::ignore, &context);
  ASSERT_FALSE(set);
  EXPECT_EQ(set.error(), EINVAL);
  EXPECT_EQ(counted.retains, 0);
  EXPECT_EQ((*target)->description(), "<ReachabilityTarget 0.0.0.0>");
}

// ---- Inside a network namespace of the test's own ---------------------------------------

class ReachabilityTargetInNamespace : public testsupport::NetworkNamespaceTest {
 protected:
  void SetUp() override {
    NetworkNamespaceTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    auto general = makeInside(makeForZeroAddress);
    ASSERT_TRUE(general);
    // The veth carrier comes up a moment after the links do.
    ASSERT_TRUE(settlesAt(**general, kReachable));
  }

  TargetResult makeInside(const std::function<TargetResult()>& make) { return inside(make); }

  // Waits, on change events, until `target` reports `flags`.
  static bool settlesAt(ReachabilityTarget& target, ReachabilityFlags flags) {
    Recorder recorder;
    auto context = recorder.context();
    if (!target.setCallback(&Recorder::record, &context) ||
        !target.setDispatchQueue(DispatchQueue::main())) {
      return false;
    }
    const bool settled = target.flags() == flags || runMainLoopUntil([&] {
                           auto seen = recorder.all();
                           return !seen.empty() && seen.back() == flags;
                         });
    (void)target.setDispatchQueue(nullptr);
    (void)target.setCallback(nullptr, nullptr);
    return settled;
  }
};

struct FlagsCase {
  const char* label;
  const char* target;
  bool defaultRoute;
  ReachabilityFlags flags;
};

class ReachabilityTargetFlags : public ReachabilityTargetInNamespace,
                                public ::testing::WithParamInterface<FlagsCase> {};

TEST_P(ReachabilityTargetFlags, MatchTheRoutes) {
  const auto& param = GetParam();
  if (!param.defaultRoute) {
    ASSERT_TRUE(namespace_->ip({"route", "del", "default"}));
  }
  auto target = makeInside([&] { return ReachabilityTarget::makeWithName(param.target); });
  ASSERT_TRUE(target) << target.error();
  auto flags = (*target)->flags();
  ASSERT_TRUE(flags) << flags.error();
  EXPECT_EQ(flags->rawValue, param.flags.rawValue);
}

INSTANTIATE_TEST_SUITE_P(
    Namespace, ReachabilityTargetFlags,
    ::testing::Values(FlagsCase{"ZeroIPv4", "0.0.0.0", true, kReachable},
                      FlagsCase{"OwnAddress", NetworkNamespace::kInsideAddress, true, kLocal},
                      FlagsCase{"OnLink", "10.200.1.7", true, kOnLink},
                      FlagsCase{"ThroughGateway", "192.0.2.1", true, kReachable},
                      FlagsCase{"OnLinkWithoutDefaultRoute", "10.200.1.7", false, kOnLink},
                      FlagsCase{"OffLinkWithoutDefaultRoute", "192.0.2.1", false, {}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(ReachabilityTargetInNamespace, LinkDownAndUpCallBackOncePerChangeOnTheQueue) {
  auto target = makeInside(makeForZeroAddress);
  ASSERT_TRUE(target);
  Recorder recorder;
  auto context = recorder.context();
  ASSERT_TRUE((*target)->setCallback(&Recorder::record, &context));
  ASSERT_TRUE((*target)->setDispatchQueue(DispatchQueue::main()));

  // Callbacks arrive in order, so any extra one from a cycle would show up before the
  // next cycle's.
  std::vector<ReachabilityFlags> expected;
  for (int cycle = 0; cycle < 2; ++cycle) {
    ASSERT_TRUE(link("down"));
    expected.push_back({});
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.count() >= expected.size(); }));
    ASSERT_EQ(recorder.all(), expected);
    ASSERT_TRUE(link("up"));
    expected.push_back(kReachable);
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.count() >= expected.size(); }));
    ASSERT_EQ(recorder.all(), expected);
  }
  EXPECT_TRUE(recorder.allOnMain);
  ASSERT_TRUE((*target)->setDispatchQueue(nullptr));
}

TEST_F(ReachabilityTargetInNamespace, EventsThatLeaveTheFlagsAloneCallNothing) {
  auto target = makeInside(makeForZeroAddress);
  ASSERT_TRUE(target);
  Recorder recorder;
  auto context = recorder.context();
  ASSERT_TRUE((*target)->setCallback(&Recorder::record, &context));
  ASSERT_TRUE((*target)->setDispatchQueue(DispatchQueue::main()));

  ASSERT_TRUE(namespace_->ip({"addr", "add", "10.200.2.1/24", "dev", NetworkNamespace::kInside}));
  ASSERT_TRUE(namespace_->ip({"route", "add", "192.0.2.0/24", "via", "10.200.2.2"}));
  ASSERT_TRUE(link("down"));
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder.count() >= 1; }));
  EXPECT_EQ(recorder.all(), std::vector<ReachabilityFlags>{ReachabilityFlags{}});
}

enum class StopBy { clearingTheCallback, clearingTheQueue, destroyingTheTarget };

class ReachabilityTargetStop : public ReachabilityTargetInNamespace,
                               public ::testing::WithParamInterface<StopBy> {};

TEST_P(ReachabilityTargetStop, NoCallbackAfterStopReturnsEvenWithEventsInFlight) {
  auto stopped = makeInside(makeForZeroAddress);
  auto witness = makeInside(makeForZeroAddress);
  ASSERT_TRUE(stopped && witness);
  Recorder stoppedCalls;
  Recorder witnessCalls;
  auto stoppedContext = stoppedCalls.context();
  auto witnessContext = witnessCalls.context();
  ASSERT_TRUE((*stopped)->setCallback(&Recorder::record, &stoppedContext));
  ASSERT_TRUE((*stopped)->setDispatchQueue(DispatchQueue::main()));
  ASSERT_TRUE((*witness)->setCallback(&Recorder::record, &witnessContext));
  ASSERT_TRUE((*witness)->setDispatchQueue(DispatchQueue::main()));

  // The link goes down and the stop follows at once: the change may be anywhere between the
  // kernel and the main queue when the stop comes.
  ASSERT_TRUE(link("down"));
  switch (GetParam()) {
    case StopBy::clearingTheCallback:
      ASSERT_TRUE((*stopped)->setCallback(nullptr, nullptr));
      break;
    case StopBy::clearingTheQueue:
      ASSERT_TRUE((*stopped)->setDispatchQueue(nullptr));
      break;
    case StopBy::destroyingTheTarget:
      stopped->reset();
      break;
  }
  const auto callsAtStop = stoppedCalls.count();
  // Each change must reach the witness before the next one, or the two could fold into one
  // evaluation that sees no change at all.
  ASSERT_TRUE(runMainLoopUntil([&] { return witnessCalls.count() >= 1; }));
  ASSERT_TRUE(link("up"));
  ASSERT_TRUE(runMainLoopUntil([&] { return witnessCalls.count() >= 2; }));
  testsupport::drainMainQueue();
  EXPECT_EQ(stoppedCalls.count(), callsAtStop);
}

INSTANTIATE_TEST_SUITE_P(Namespace, ReachabilityTargetStop,
                         ::testing::Values(StopBy::clearingTheCallback, StopBy::clearingTheQueue,
                                           StopBy::destroyingTheTarget),
                         [](const auto& info) {
                           switch (info.param) {
                             case StopBy::clearingTheCallback:
                               return "ClearingTheCallback";
                             case StopBy::clearingTheQueue:
                               return "ClearingTheQueue";
                             case StopBy::destroyingTheTarget:
                               return "DestroyingTheTarget";
                           }
                           return "";
                         });

// A callback running on a background queue while another thread clears the callback.
struct SlowCallback {
  std::atomic<bool> entered = false;
  std::atomic<bool> stopStarted = false;
  std::atomic<bool> finished = false;

  static void run(ReachabilityTarget&, ReachabilityFlags, void* info) {
    auto& self = *static_cast<SlowCallback*>(info);
    if (self.entered.exchange(true)) return;
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (!self.stopStarted && std::chrono::steady_clock::now() < until) {
      std::this_thread::yield();
    }
    // Give a stop that does not wait every chance to return before this callback does.
    for (int i = 0; i < 1000; ++i) std::this_thread::yield();
    self.finished = true;
  }
};

TEST_F(ReachabilityTargetInNamespace, ClearingFromAnotherThreadWaitsForTheRunningCallback) {
  auto target = makeInside(makeForZeroAddress);
  ASSERT_TRUE(target);
  SlowCallback slow;
  ReachabilityTarget::Context context{0, &slow, nullptr, nullptr, nullptr};
  ASSERT_TRUE((*target)->setCallback(&SlowCallback::run, &context));
  ASSERT_TRUE((*target)->setDispatchQueue(DispatchQueue::makeSerial("test.reachability")));
  ASSERT_TRUE(link("down"));
  ASSERT_TRUE(runMainLoopUntil([&] { return slow.entered.load(); }));

  std::atomic<bool> finishedWhenStopReturned = false;
  std::thread stopper([&] {
    slow.stopStarted = true;
    (void)(*target)->setCallback(nullptr, nullptr);
    finishedWhenStopReturned = slow.finished.load();
  });
  stopper.join();
  EXPECT_TRUE(finishedWhenStopReturned);
}

// A callback that unregisters itself and then still uses its info.
struct SelfClearing {
  std::atomic<int> calls = 0;
  std::atomic<int> releases = 0;
  std::atomic<bool> infoAliveAfterClearing = false;

  static void run(ReachabilityTarget& target, ReachabilityFlags, void* info) {
    auto& self = *static_cast<SelfClearing*>(info);
    ++self.calls;
    (void)target.setCallback(nullptr, nullptr);
    self.infoAliveAfterClearing = self.releases == 0;
  }
  static void release(const void* info) {
    ++static_cast<SelfClearing*>(const_cast<void*>(info))->releases;
  }
};

TEST_F(ReachabilityTargetInNamespace, CallbackThatClearsItselfKeepsItsInfoUntilItReturns) {
  auto target = makeInside(makeForZeroAddress);
  ASSERT_TRUE(target);
  SelfClearing self;
  ReachabilityTarget::Context context{0, &self, nullptr, &SelfClearing::release, nullptr};
  ASSERT_TRUE((*target)->setCallback(&SelfClearing::run, &context));
  ASSERT_TRUE((*target)->setDispatchQueue(DispatchQueue::main()));
  ASSERT_TRUE(link("down"));
  ASSERT_TRUE(runMainLoopUntil([&] { return self.calls >= 1; }));
  EXPECT_TRUE(self.infoAliveAfterClearing);
  EXPECT_EQ(self.releases, 1);

  // The watch still runs, but nobody is called any more.
  auto witness = makeInside(makeForZeroAddress);
  ASSERT_TRUE(witness);
  Recorder witnessCalls;
  auto witnessContext = witnessCalls.context();
  ASSERT_TRUE((*witness)->setCallback(&Recorder::record, &witnessContext));
  ASSERT_TRUE((*witness)->setDispatchQueue(DispatchQueue::main()));
  ASSERT_TRUE(link("up"));
  ASSERT_TRUE(runMainLoopUntil([&] { return witnessCalls.count() >= 1; }));
  testsupport::drainMainQueue();
  EXPECT_EQ(self.calls, 1);
}

TEST_F(ReachabilityTargetInNamespace, TargetReleasedByItsOwnCallbackIsTornDownSafely) {
  struct Owner {
    std::shared_ptr<ReachabilityTarget> target;
    bool called = false;
    static void run(ReachabilityTarget&, ReachabilityFlags, void* info) {
      auto& self = *static_cast<Owner*>(info);
      self.called = true;
      self.target.reset();  // the last reference: the target goes once this returns
    }
  };
  auto target = makeInside(makeForZeroAddress);
  ASSERT_TRUE(target);
  Owner owner{*target};
  target->reset();
  ReachabilityTarget::Context context{0, &owner, nullptr, nullptr, nullptr};
  ASSERT_TRUE(owner.target->setCallback(&Owner::run, &context));
  ASSERT_TRUE(owner.target->setDispatchQueue(DispatchQueue::main()));
  ASSERT_TRUE(link("down"));
  ASSERT_TRUE(runMainLoopUntil([&] { return owner.called; }));
  EXPECT_EQ(owner.target, nullptr);
}

}  // namespace
