#include "Classes/Utils/Reachability.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <string>

#include "Classes/Utils/ReachabilityFlagsDescription.h"
#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Network/ReachabilityTarget.h"
#include "Tests/Support/MainLoopPump.h"
#include "Tests/Support/NetworkNamespace.h"

using brelum::Reachability;
using brelum::ReachabilityError;
using platform::DispatchQueue;
using platform::NotificationCenter;
using platform::ReachabilityFlags;
using platform::ReachabilityTarget;
using testsupport::drainMainQueue;
using testsupport::runMainLoopUntil;

namespace {

using Connection = Reachability::Connection;

// Everything a monitor reports: its closures' calls and its notifications, observed on a
// centre of the test's own.
struct Reports {
  std::shared_ptr<NotificationCenter> center = NotificationCenter::make();
  std::atomic<int> reachable = 0, unreachable = 0, notifications = 0;
  std::atomic<bool> allOnMain = true;

  void watch(const std::shared_ptr<Reachability>& monitor) {
    monitor->setNotificationCenter(center);
    auto counter = [this](std::atomic<int>& calls) {
      return [this, &calls](const auto&) {
        allOnMain = allOnMain && DispatchQueue::main()->isCurrent();
        ++calls;
      };
    };
    monitor->setWhenReachable(counter(reachable));
    monitor->setWhenUnreachable(counter(unreachable));
    center->addObserver(brelum::reachabilityChanged(), monitor.get(), nullptr,
                        [this](const platform::Notification& note) {
                          if (note.userInfo.empty()) ++notifications;
                        });
  }
};

std::shared_ptr<Reachability> loopbackMonitor(
    std::shared_ptr<DispatchQueue> notificationQueue = DispatchQueue::main()) {
  return Reachability::make("127.0.0.1", platform::DispatchQoS::defaultQoS, nullptr,
                            std::move(notificationQueue));
}

// ---- Texts --------------------------------------------------------------------------------

TEST(ReachabilityTest, FlagsTextHasOnePositionPerFlagAndAFixedSpace) {
  EXPECT_EQ(brelum::detail::description({}), "-- -------");
  EXPECT_EQ(brelum::detail::description(ReachabilityFlags{0x7003f}), "WR ctiCDld");
  // Bits outside the table leave no trace.
  EXPECT_EQ(
      brelum::detail::description(ReachabilityFlags{0xfff80040} | ReachabilityFlags::reachable),
      "-R -------");
}

TEST(ReachabilityTest, ErrorsNameTheirCaseAndCode) {
  try {
    (void)Reachability::make(std::string("a\0b", 3));
    FAIL() << "a host name with a NUL character was accepted";
  } catch (const ReachabilityError& error) {
    const auto* failed = std::get_if<ReachabilityError::FailedToCreateWithHostname>(&error.value());
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->hostname, std::string("a\0b", 3));
    EXPECT_EQ(failed->code, EINVAL);
    EXPECT_STREQ(error.what(), "ReachabilityError.failedToCreateWithHostname(22)");
  }
}

// ---- Reading the flags --------------------------------------------------------------------

// Neither a second read nor a start finding the same flags notifies again.
TEST(ReachabilityTest, FirstReadNotifiesOnceAndStartingTwiceRegistersOnce) {
  auto target = ReachabilityTarget::makeWithName("127.0.0.1");
  ASSERT_TRUE(target);
  Reports reports;
  auto monitor = Reachability::make(*target);
  reports.watch(monitor);
  EXPECT_EQ(monitor->description(), "unavailable flags");
  EXPECT_EQ(monitor->connection(), Connection::wifi);
  EXPECT_EQ(monitor->description(), "-R -----ld");
  ASSERT_TRUE(runMainLoopUntil([&] { return reports.notifications == 1; }));
  EXPECT_EQ(reports.reachable, 1);
  EXPECT_EQ(reports.unreachable, 0);
  EXPECT_TRUE(reports.allOnMain);
  EXPECT_TRUE(monitor->isReachable());
  EXPECT_FALSE(monitor->isReachableViaWWAN());

  monitor->startNotifier();
  monitor->startNotifier();
  EXPECT_TRUE(monitor->notifierRunning());
  EXPECT_EQ((*target)->description(), "<ReachabilityTarget 127.0.0.1> {info = -R -----ld}");
  monitor->stopNotifier();
  EXPECT_FALSE(monitor->notifierRunning());
  EXPECT_EQ((*target)->description(), "<ReachabilityTarget 127.0.0.1>");
  drainMainQueue();
  EXPECT_EQ(reports.notifications, 1);
  EXPECT_EQ(reports.reachable, 1);
}

TEST(ReachabilityTest, MonitorWithoutTargetAnswersUnavailableAndCannotStart) {
  Reports reports;
  auto monitor = Reachability::make(std::shared_ptr<ReachabilityTarget>{});
  reports.watch(monitor);
  EXPECT_EQ(monitor->connection(), Connection::unavailable);
  EXPECT_EQ(monitor->currentReachabilityString(), "No Connection");
  EXPECT_FALSE(monitor->isReachableViaWWAN());
  EXPECT_EQ(monitor->description(), "unavailable flags");
  try {
    monitor->startNotifier();
    FAIL() << "a monitor without a target started";
  } catch (const ReachabilityError& error) {
    EXPECT_TRUE(std::holds_alternative<ReachabilityError::UnableToSetCallback>(error.value()));
    EXPECT_EQ(error.code(), EINVAL);
  }
  EXPECT_FALSE(monitor->notifierRunning());
  drainMainQueue();
  EXPECT_EQ(reports.notifications, 0);
}

TEST(ReachabilityTest, WithoutNotificationQueueClosuresRunOnTheSerialQueueBeforeTheReadReturns) {
  Reports reports;
  auto monitor = loopbackMonitor(nullptr);
  reports.watch(monitor);
  std::atomic<bool> startedFromClosure = false;
  // A closure on the serial queue that starts the notifier, which reads the flags again:
  // the read must not wait for the queue it is running on.
  monitor->setWhenReachable([&](const std::shared_ptr<Reachability>& self) {
    self->startNotifier();
    startedFromClosure = self->notifierRunning();
  });
  EXPECT_EQ(monitor->connection(), Connection::wifi);
  EXPECT_TRUE(startedFromClosure);
  EXPECT_EQ(reports.notifications, 1);
  monitor->stopNotifier();
}

// ---- The notifier -------------------------------------------------------------------------

TEST(ReachabilityTest, MonitorReleasedWithANotificationPendingPostsNothing) {
  // As the device description probes: the zero address, read once, dropped at once.
  Reports reports;
  auto monitor = Reachability::make();
  reports.watch(monitor);
  (void)monitor->connection();
  monitor.reset();
  drainMainQueue();
  EXPECT_EQ(reports.notifications, 0);
  EXPECT_EQ(reports.reachable, 0);
  EXPECT_EQ(reports.unreachable, 0);
}

// ---- Real changes, inside a network namespace of the test's own ------------------------------

class ReachabilityInNamespace : public testsupport::NetworkNamespaceTest {
 protected:
  // A zero-address monitor whose target lives in the namespace.
  std::shared_ptr<Reachability> makeMonitor() {
    return inside<std::shared_ptr<Reachability>>([] { return Reachability::make(); });
  }
};

// A monitor released while changes are in flight gets no more calls; a second monitor on the
// same namespace shows that the changes came.
TEST_F(ReachabilityInNamespace, LinkChangesNotifyOnceWithTheRightClosureUntilReleased) {
  Reports reports, witnessReports;
  auto monitor = makeMonitor();
  auto witness = makeMonitor();
  ASSERT_TRUE(monitor);
  ASSERT_TRUE(witness);
  reports.watch(monitor);
  witnessReports.watch(witness);
  monitor->startNotifier();
  witness->startNotifier();
  // The start's read notifies at once; if the veth carrier was still coming up, a second
  // notification follows when it is.
  ASSERT_TRUE(runMainLoopUntil([&] { return reports.reachable == 1; }));
  const int unreachableBefore = reports.unreachable, notificationsBefore = reports.notifications;

  ASSERT_TRUE(link("down"));
  ASSERT_TRUE(runMainLoopUntil([&] { return reports.unreachable == unreachableBefore + 1; }));
  EXPECT_EQ(reports.reachable, 1);
  EXPECT_EQ(reports.notifications, notificationsBefore + 1);
  EXPECT_EQ(monitor->description(), "-- -------");
  EXPECT_EQ(monitor->currentReachabilityString(), "No Connection");
  ASSERT_TRUE(link("up"));
  ASSERT_TRUE(runMainLoopUntil([&] { return reports.reachable == 2; }));
  EXPECT_EQ(reports.unreachable, unreachableBefore + 1);
  EXPECT_EQ(reports.notifications, notificationsBefore + 2);
  EXPECT_EQ(monitor->description(), "-R -------");
  EXPECT_TRUE(reports.allOnMain);

  // The witness's changes come in order: its "down" follows any "up" still on the way.
  const int witnessUnreachable = witnessReports.unreachable;
  ASSERT_TRUE(link("down"));
  const int callsAtRelease = reports.reachable + reports.unreachable + reports.notifications;
  monitor.reset();
  ASSERT_TRUE(runMainLoopUntil([&] { return witnessReports.unreachable > witnessUnreachable; }));
  const int witnessReachable = witnessReports.reachable;
  ASSERT_TRUE(link("up"));
  ASSERT_TRUE(runMainLoopUntil([&] { return witnessReports.reachable > witnessReachable; }));
  drainMainQueue();
  EXPECT_EQ(reports.reachable + reports.unreachable + reports.notifications, callsAtRelease);
}

}  // namespace
