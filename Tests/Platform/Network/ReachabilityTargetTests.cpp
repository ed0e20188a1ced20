#include "Platform/Network/ReachabilityTarget.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
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

TargetResult makeWith(sa_family_t family, socklen_t length) {
  sockaddr_storage address{};
  address.ss_family = family;
  return ReachabilityTarget::makeWithAddress(reinterpret_cast<const sockaddr*>(&address), length);
}

TargetResult makeForZeroAddress() {
  return makeWith(AF_INET, sizeof(sockaddr_in));
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
  // Records the target's callbacks on the main queue.
  bool watch(ReachabilityTarget& target) {
    auto context = this->context();
    return target.setCallback(&record, &context) && target.setDispatchQueue(DispatchQueue::main());
  }
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
        BadTargetCase{"ShortIPv4", [] { return makeWith(AF_INET, 8); }, EINVAL},
        BadTargetCase{"ShortIPv6", [] { return makeWith(AF_INET6, sizeof(sockaddr_in)); }, EINVAL},
        BadTargetCase{"UnixFamily", [] { return makeWith(AF_UNIX, sizeof(sockaddr_storage)); },
                      EAFNOSUPPORT},
        BadTargetCase{"EmptyName", [] { return ReachabilityTarget::makeWithName(""); }, EINVAL},
        BadTargetCase{"NameLongerThanDNSAllows",
                      [] { return ReachabilityTarget::makeWithName(std::string(255, 'a')); },
                      EINVAL}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ReachabilityTargetTest, LoopbackLiteralIsReachableLocalAndDirect) {
  auto target = ReachabilityTarget::makeWithName("127.0.0.1");
  ASSERT_TRUE(target) << target.error();
  EXPECT_EQ((*target)->flags(), kLocal);
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

    // A context of another version is refused, not retained, and leaves the first in place.
    auto secondContext = second.context();
    secondContext.version = 1;
    EXPECT_EQ((*target)->setCallback(&Counted::ignore, &secondContext), std::unexpected(EINVAL));
    EXPECT_EQ(second.retains, 0);
    EXPECT_EQ(first.releases, 0);

    secondContext.version = 0;
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
    if (!recorder.watch(target)) return false;
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

TEST_F(ReachabilityTargetInNamespace, EachChangeCallsBackOnceInOrderOnTheQueueAndNothingElse) {
  auto target = makeInside(makeForZeroAddress);
  ASSERT_TRUE(target);
  Recorder recorder;
  ASSERT_TRUE(recorder.watch(**target));
  // An address and a route that leave the flags alone call nothing. Callbacks arrive in
  // order, so any extra one would show up before the next change's.
  ASSERT_TRUE(namespace_->ip({"addr", "add", "10.200.2.1/24", "dev", NetworkNamespace::kInside}));
  ASSERT_TRUE(namespace_->ip({"route", "add", "192.0.2.0/24", "via", "10.200.2.2"}));
  std::vector<ReachabilityFlags> expected;
  for (const bool up : {false, true, false, true}) {
    ASSERT_TRUE(link(up ? "up" : "down"));
    expected.push_back(up ? kReachable : ReachabilityFlags{});
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.count() >= expected.size(); }));
    ASSERT_EQ(recorder.all(), expected);
  }
  EXPECT_TRUE(recorder.allOnMain);
  ASSERT_TRUE((*target)->setDispatchQueue(nullptr));
}

// Stopped from the main thread right after a change, or by the callback itself: once the
// stop has returned nothing more is called, and the callback's info lives until it returns.
struct Stoppable {
  std::string how;
  std::shared_ptr<ReachabilityTarget> target;
  std::atomic<int> calls = 0;
  std::atomic<int> releases = 0;
  bool infoAliveAfterClearing = false;

  static void run(ReachabilityTarget& target, ReachabilityFlags, void* info) {
    auto& self = *static_cast<Stoppable*>(info);
    ++self.calls;
    if (self.how == "ClearedByItself") {
      (void)target.setCallback(nullptr, nullptr);
      self.infoAliveAfterClearing = self.releases == 0;
    } else if (self.how == "ReleasedByItself") {
      self.target.reset();  // the last reference: the target goes once this returns
    }
  }
  static void release(const void* info) {
    ++static_cast<Stoppable*>(const_cast<void*>(info))->releases;
  }
};

class ReachabilityTargetStop : public ReachabilityTargetInNamespace,
                               public ::testing::WithParamInterface<std::string> {};

TEST_P(ReachabilityTargetStop, NoCallbackAfterTheStopEvenWithEventsInFlight) {
  const auto& how = GetParam();
  auto made = makeInside(makeForZeroAddress);
  auto witness = makeInside(makeForZeroAddress);
  Recorder witnessCalls;
  ASSERT_TRUE(made);
  ASSERT_TRUE(witness);
  ASSERT_TRUE(witnessCalls.watch(**witness));
  Stoppable stoppable{how, *made};
  made->reset();
  ReachabilityTarget::Context context{0, &stoppable, nullptr, &Stoppable::release, nullptr};
  ASSERT_TRUE(stoppable.target->setCallback(&Stoppable::run, &context));
  ASSERT_TRUE(stoppable.target->setDispatchQueue(DispatchQueue::main()));
  // The link goes down and the stop follows at once: the change may be anywhere between the
  // kernel and the main queue when the stop comes.
  ASSERT_TRUE(link("down"));
  if (how == "ClearingTheCallback") {
    ASSERT_TRUE(stoppable.target->setCallback(nullptr, nullptr));
  } else if (how == "ClearingTheQueue") {
    ASSERT_TRUE(stoppable.target->setDispatchQueue(nullptr));
  } else if (how == "DestroyingTheTarget") {
    stoppable.target.reset();
  }
  const int callsAtStop = how.ends_with("ByItself") ? 1 : stoppable.calls.load();
  // Each change must reach the witness before the next one, or the two could fold into one
  // evaluation that sees no change at all.
  ASSERT_TRUE(runMainLoopUntil(
      [&] { return witnessCalls.count() >= 1 && stoppable.calls >= callsAtStop; }));
  ASSERT_TRUE(link("up"));
  ASSERT_TRUE(runMainLoopUntil([&] { return witnessCalls.count() >= 2; }));
  testsupport::drainMainQueue();
  EXPECT_EQ(stoppable.calls, callsAtStop);
  if (how == "ClearedByItself") {
    EXPECT_TRUE(stoppable.infoAliveAfterClearing);
    EXPECT_EQ(stoppable.releases, 1);
  }
  if (how == "ReleasedByItself") {
    EXPECT_EQ(stoppable.target, nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Namespace, ReachabilityTargetStop,
                         ::testing::Values("ClearingTheCallback", "ClearingTheQueue",
                                           "DestroyingTheTarget", "ClearedByItself",
                                           "ReleasedByItself"),
                         [](const auto& info) { return info.param; });

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

}  // namespace
