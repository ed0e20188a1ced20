#include "Platform/Dispatch/DispatchQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Dispatch/MainThread.h"
#include "Tests/Support/MainLoopPump.h"

using namespace std::chrono_literals;
using platform::DispatchQoS;
using platform::DispatchQueue;
using platform::MainLoop;
using testsupport::runMainLoopUntil;

namespace {

TEST(DispatchQueueTest, MainQueueRunsWorkInOrderOnTheMainThreadFromAnyThread) {
  std::vector<int> order;
  for (int i = 0; i < 100; ++i) {
    DispatchQueue::main()->async([&, i] {
      EXPECT_TRUE(platform::isMainThread()) << i;
      EXPECT_TRUE(DispatchQueue::main()->isCurrent()) << i;
      order.push_back(i);
    });
  }
  std::atomic<int> ran = 0;
  std::vector<std::jthread> posters;
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([&] {
      for (int i = 0; i < 50; ++i) DispatchQueue::main()->async([&] { ++ran; });
    });
  }
  posters.clear();
  // A serial queue targeting the main queue runs there too.
  auto serial =
      DispatchQueue::makeSerial("test.on-main", DispatchQoS::defaultQoS, DispatchQueue::main());
  serial->async([&] {
    EXPECT_TRUE(platform::isMainThread());
    EXPECT_TRUE(serial->isCurrent());
    EXPECT_TRUE(DispatchQueue::main()->isCurrent());
    ++ran;
  });
  ASSERT_TRUE(runMainLoopUntil([&] { return order.size() == 100 && ran == 201; }));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
}

TEST(DispatchQueueTest, SerialQueueRunsOneItemAtATimeInOrder) {
  auto queue = DispatchQueue::makeSerial("test.serial");
  std::vector<int> order;
  std::atomic<int> inside = 0;
  std::atomic<bool> overlapped = false;
  for (int i = 0; i < 200; ++i) {
    queue->async([&, i] {
      if (++inside > 1) overlapped = true;
      order.push_back(i);  // unguarded on purpose: the queue is the guard
      --inside;
    });
  }
  // Sync onto another queue from inside one runs there, on another thread.
  auto inner = DispatchQueue::makeSerial("test.inner");
  bool onInner = false, onOuter = true;
  queue->sync([&] {
    inner->sync([&] {
      onInner = inner->isCurrent();
      onOuter = queue->isCurrent();
    });
  });
  EXPECT_TRUE(onInner);
  EXPECT_FALSE(onOuter);
  EXPECT_FALSE(overlapped);
  ASSERT_EQ(order.size(), 200u);
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

TEST(DispatchQueueTest, AsyncAfterKeepsTheOrderOfDeadlines) {
  std::vector<int> order;
  DispatchQueue::main()->asyncAfter(120ms, [&] { order.push_back(2); });
  DispatchQueue::main()->asyncAfter(60ms, [&] { order.push_back(1); });
  DispatchQueue::main()->async([&] { order.push_back(0); });
  ASSERT_TRUE(runMainLoopUntil([&] { return order.size() == 3; }));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST(DispatchQueueTest, PendingWorkKeepsAReleasedSerialQueueAliveAndRunsOnIt) {
  std::atomic<bool> ranOnQueue = false;
  std::atomic<bool> ran = false;
  {
    auto queue = DispatchQueue::makeSerial("test.released");
    queue->asyncAfter(20ms, [&, raw = queue.get()] {
      ranOnQueue = raw->isCurrent();
      ran = true;
    });
  }
  ASSERT_TRUE(runMainLoopUntil([&] { return ran.load(); }));
  EXPECT_TRUE(ranOnQueue);
}

TEST(DispatchQueueDeathTest, SyncOntoAQueueThisThreadRunsStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        auto queue = DispatchQueue::makeSerial("test.self");
        queue->sync([&] { queue->sync([] {}); });
      },
      "sync onto the queue \"test.self\"");
  EXPECT_DEATH(
      {
        auto target = DispatchQueue::makeSerial("test.target");
        auto queue = DispatchQueue::makeSerial("test.child", DispatchQoS::defaultQoS, target);
        queue->sync([&] { target->sync([] {}); });
      },
      "sync onto the queue \"test.target\"");
  EXPECT_DEATH(DispatchQueue::main()->sync([] {}), "sync onto the queue \"main\"");
}

TEST(MainLoopTest, RunUntilAndRunForReturnAtTheirDeadline) {
  EXPECT_FALSE(MainLoop::runUntil([] { return false; }, 50ms));
  bool ran = false;
  DispatchQueue::main()->asyncAfter(5ms, [&] { ran = true; });
  MainLoop::runFor(1s);
  EXPECT_TRUE(ran);
}

// Each stop ends one run, also one that comes before the run starts or from another thread.
TEST(MainLoopTest, StopEndsRunOnce) {
  MainLoop::stop();
  MainLoop::run();  // would never return if the early stop were lost
  // The stop comes from another thread once this run has started.
  std::atomic<bool> running = false;
  DispatchQueue::main()->async([&] {
    running = true;
    running.notify_one();
  });
  std::jthread stopper([&] {
    running.wait(false);
    MainLoop::stop();
  });
  MainLoop::run();  // returns only through stop()
  stopper.join();
  bool ran = false;
  DispatchQueue::main()->async([&] { ran = true; });
  EXPECT_TRUE(runMainLoopUntil([&] { return ran; }));  // the stops were used up by those runs
}

}  // namespace
