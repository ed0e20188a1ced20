#include "Platform/Dispatch/DispatchQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "Platform/Dispatch/MainLoop.h"
#include "Tests/Support/MainLoopPump.h"

using namespace std::chrono_literals;
using platform::DispatchQoS;
using platform::DispatchQueue;
using platform::MainLoop;
using testsupport::runMainLoopUntil;

namespace {

TEST(DispatchQueueTest, MainQueueRunsWorkInOrderOnTheMainThread) {
  std::vector<int> order;
  bool allOnMain = true;
  for (int i = 0; i < 100; ++i) {
    DispatchQueue::main()->async([&, i] {
      allOnMain = allOnMain && platform::isMainThread() && DispatchQueue::main()->isCurrent();
      order.push_back(i);
    });
  }
  ASSERT_TRUE(runMainLoopUntil([&] { return order.size() == 100; }));
  EXPECT_TRUE(allOnMain);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
}

TEST(DispatchQueueTest, WorkPostedFromOtherThreadsReachesTheMainQueue) {
  std::atomic<int> ran = 0;
  std::vector<std::jthread> posters;
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([&] {
      for (int i = 0; i < 50; ++i) DispatchQueue::main()->async([&] { ++ran; });
    });
  }
  posters.clear();
  EXPECT_TRUE(runMainLoopUntil([&] { return ran == 200; }));
}

TEST(DispatchQueueTest, SerialQueueRunsOneItemAtATimeInOrder) {
  auto queue = DispatchQueue::makeSerial("test.serial");
  std::vector<int> order;
  std::atomic<int> inside = 0;
  std::atomic<bool> overlapped = false;
  std::atomic<int> done = 0;
  for (int i = 0; i < 200; ++i) {
    queue->async([&, i] {
      if (++inside > 1) overlapped = true;
      order.push_back(i);  // unguarded on purpose: the queue is the guard
      --inside;
      ++done;
    });
  }
  queue->sync([] {});
  EXPECT_EQ(done, 200);
  EXPECT_FALSE(overlapped);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(order[i], i);
}

TEST(DispatchQueueTest, GlobalQueueRunsWorkConcurrently) {
  // Two items that each wait for the other can only finish if they run at the same time.
  std::atomic<int> arrived = 0;
  std::atomic<int> finished = 0;
  for (int i = 0; i < 2; ++i) {
    DispatchQueue::global(DispatchQoS::background)->async([&] {
      ++arrived;
      auto until = std::chrono::steady_clock::now() + 10s;
      while (arrived < 2 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
      ++finished;
    });
  }
  ASSERT_TRUE(runMainLoopUntil([&] { return finished == 2; }));
  EXPECT_EQ(arrived, 2);
}

TEST(DispatchQueueTest, SerialQueueTargetingTheMainQueueRunsOnTheMainThread) {
  auto queue =
      DispatchQueue::makeSerial("test.on-main", DispatchQoS::defaultQoS, DispatchQueue::main());
  bool onMain = false;
  bool mainCurrent = false;
  bool ran = false;
  queue->async([&] {
    onMain = platform::isMainThread();
    mainCurrent = DispatchQueue::main()->isCurrent() && queue->isCurrent();
    ran = true;
  });
  ASSERT_TRUE(runMainLoopUntil([&] { return ran; }));
  EXPECT_TRUE(onMain);
  EXPECT_TRUE(mainCurrent);
}

TEST(DispatchQueueTest, SyncOntoADifferentQueueFromInsideAQueueWorks) {
  auto outer = DispatchQueue::makeSerial("test.outer");
  auto inner = DispatchQueue::makeSerial("test.inner");
  bool innerCurrentInside = false;
  bool outerCurrentInside = true;
  outer->sync([&] {
    inner->sync([&] {
      innerCurrentInside = inner->isCurrent();
      outerCurrentInside = outer->isCurrent();
    });
  });
  EXPECT_TRUE(innerCurrentInside);
  EXPECT_FALSE(outerCurrentInside);  // the inner work runs on another thread
}

TEST(DispatchQueueTest, AsyncAfterWaitsAtLeastTheDelayAndKeepsOrderOfDeadlines) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  std::vector<int> order;
  Clock::time_point firstRan;
  DispatchQueue::main()->asyncAfter(120ms, [&] { order.push_back(2); });
  DispatchQueue::main()->asyncAfter(60ms, [&] {
    firstRan = Clock::now();
    order.push_back(1);
  });
  DispatchQueue::main()->async([&] { order.push_back(0); });
  ASSERT_TRUE(runMainLoopUntil([&] { return order.size() == 3; }));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_GE(firstRan - start, 60ms);
}

TEST(DispatchQueueTest, AsyncAfterOnASerialQueueRunsOnThatQueue) {
  auto queue = DispatchQueue::makeSerial("test.after");
  std::atomic<bool> ranOnQueue = false;
  std::atomic<bool> ran = false;
  queue->asyncAfter(10ms, [&] {
    ranOnQueue = queue->isCurrent();
    ran = true;
  });
  ASSERT_TRUE(runMainLoopUntil([&] { return ran.load(); }));
  EXPECT_TRUE(ranOnQueue);
}

TEST(DispatchQueueTest, PendingWorkKeepsAReleasedSerialQueueAlive) {
  std::atomic<bool> ran = false;
  {
    auto queue = DispatchQueue::makeSerial("test.released");
    queue->asyncAfter(20ms, [&] { ran = true; });
  }
  EXPECT_TRUE(runMainLoopUntil([&] { return ran.load(); }));
}

using DispatchQueueDeathTest = ::testing::Test;

TEST_F(DispatchQueueDeathTest, SyncOntoTheRunningSerialQueueStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        auto queue = DispatchQueue::makeSerial("test.self");
        queue->sync([&] { queue->sync([] {}); });
      },
      "sync onto the queue \"test.self\"");
}

TEST_F(DispatchQueueDeathTest, SyncOntoATargetFromItsSerialQueueStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        auto target = DispatchQueue::makeSerial("test.target");
        auto queue = DispatchQueue::makeSerial("test.child", DispatchQoS::defaultQoS, target);
        queue->sync([&] { target->sync([] {}); });
      },
      "sync onto the queue \"test.target\"");
}

TEST_F(DispatchQueueDeathTest, SyncOntoTheMainQueueFromTheMainThreadStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(DispatchQueue::main()->sync([] {}), "sync onto the queue \"main\"");
}

TEST(MainLoopTest, RunUntilGivesUpAtTheDeadline) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(MainLoop::runUntil([] { return false; }, 50ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
}

TEST(MainLoopTest, StopEndsRun) {
  DispatchQueue::main()->asyncAfter(10ms, [] { MainLoop::stop(); });
  MainLoop::run();  // returns only through stop()
  bool ranAfterwards = false;
  DispatchQueue::main()->async([&] { ranAfterwards = true; });
  EXPECT_TRUE(runMainLoopUntil([&] { return ranAfterwards; }));
}

TEST(MainLoopTest, StopFromAnotherThreadEndsRun) {
  std::jthread stopper([] {
    std::this_thread::sleep_for(20ms);
    MainLoop::stop();
  });
  MainLoop::run();
  SUCCEED();
}

TEST(MainLoopTest, StopBeforeRunStartsIsNotLost) {
  MainLoop::stop();
  MainLoop::run();  // would never return if the early stop were lost
  bool ran = false;
  DispatchQueue::main()->async([&] { ran = true; });
  EXPECT_TRUE(runMainLoopUntil([&] { return ran; }));  // the stop was used up by that run
}

TEST(MainLoopTest, RunForRunsDueWorkAndReturns) {
  bool ran = false;
  DispatchQueue::main()->asyncAfter(5ms, [&] { ran = true; });
  MainLoop::runFor(100ms);
  EXPECT_TRUE(ran);
}

}  // namespace
