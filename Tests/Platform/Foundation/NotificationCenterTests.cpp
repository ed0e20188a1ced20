#include "Platform/Foundation/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Dispatch/MainThread.h"
#include "Tests/Support/MainLoopPump.h"

using platform::DispatchQueue;
using platform::Notification;
using platform::NotificationCenter;
using testsupport::runMainLoopUntil;

namespace {

class NotificationCenterTest : public ::testing::Test {
 protected:
  std::shared_ptr<NotificationCenter> center_ = NotificationCenter::make();
  std::vector<std::string> calls_;

  NotificationCenter::ObserverToken record(const std::string& label,
                                           std::optional<std::string> name = std::nullopt) {
    return center_->addObserver(std::move(name), nullptr, nullptr,
                                [this, label](const Notification&) { calls_.push_back(label); });
  }
};

// Which observers a post reaches, by the observer's name and object filters (0: none).
TEST(NotificationFilter, DeliversOnlyWhenNameAndObjectMatch) {
  const std::shared_ptr<int> objects[] = {nullptr, std::make_shared<int>(1),
                                          std::make_shared<int>(2)};
  struct Row {
    const char* observedName;  // null: any
    int observedObject;
    const char* postedName;
    int postedObject;
    bool delivered;
  };
  for (const auto& c :
       {Row{nullptr, 0, "a", 0, true}, Row{nullptr, 0, "a", 1, true}, Row{"a", 0, "a", 2, true},
        Row{"a", 0, "b", 0, false}, Row{nullptr, 1, "a", 1, true}, Row{nullptr, 1, "a", 2, false},
        Row{nullptr, 1, "a", 0, false}, Row{"a", 1, "a", 1, true}}) {
    auto center = NotificationCenter::make();
    int calls = 0;
    const auto name = c.observedName ? std::optional<std::string>(c.observedName) : std::nullopt;
    center->addObserver(name, objects[c.observedObject].get(), nullptr, [&](const Notification& n) {
      EXPECT_EQ(n.name, c.postedName);
      EXPECT_EQ(n.object, objects[c.postedObject]);
      EXPECT_EQ(std::any_cast<int>(n.userInfo.at("count")), 7);
      ++calls;
    });
    center->post(c.postedName, objects[c.postedObject], {{"count", 7}});
    EXPECT_EQ(calls, c.delivered ? 1 : 0) << name.value_or("*") << " " << c.postedName;
  }
}

// An observer removed during a post is not called afterwards, one added is first called by
// the next post. Removal releases what the block captured, once its own call has returned.
TEST_F(NotificationCenterTest, ChangesDuringAPost) {
  int owner = 0;
  NotificationCenter::ObserverToken later;
  bool added = false;
  auto captured = std::make_shared<int>(0);
  std::weak_ptr<int> watch = captured;
  center_->addObserver(&owner, std::nullopt, nullptr, [&, captured](const Notification&) {
    calls_.push_back("self");
    center_->removeObserver(&owner);
    ++*captured;  // still alive while its own call runs
    center_->removeObserver(later);
    if (!std::exchange(added, true)) record("added");
  });
  later = record("later");
  record("last");
  captured.reset();
  center_->post("n");
  EXPECT_EQ(calls_, (std::vector<std::string>{"self", "last"}));
  EXPECT_TRUE(watch.expired());
  center_->post("n");
  EXPECT_EQ(calls_, (std::vector<std::string>{"self", "last", "last", "added"}));
}

TEST_F(NotificationCenterTest, RemovingByObserverLeavesOtherRegistrationsInPlace) {
  int mine = 0;
  int theirs = 0;
  center_->addObserver(&mine, "a", nullptr, [&](const Notification&) { calls_.push_back("a"); });
  center_->addObserver(&theirs, "a", nullptr, [&](const Notification&) { calls_.push_back("t"); });
  center_->addObserver(&mine, "b", nullptr, [&](const Notification&) { calls_.push_back("b"); });
  auto token = record("token");
  EXPECT_FALSE(center_->addObserver(std::nullopt, nullptr, nullptr, nullptr));  // registers nothing
  center_->removeObserver(&mine);
  center_->removeObserver(NotificationCenter::ObserverToken{});  // an empty token is no one's
  center_->post("a");
  center_->post("b");
  EXPECT_EQ(calls_, (std::vector<std::string>{"t", "token", "token"}));
  center_->removeObserver(token);
  center_->removeObserver(token);
  center_->post("a");
  EXPECT_EQ(calls_.size(), 4u);
}

// A queued observer removed before the queue runs is not called.
TEST_F(NotificationCenterTest, QueuedObserverRunsOnThatQueueWithThePostedValues) {
  auto sender = std::make_shared<std::string>("sender");
  std::atomic<int> calls = 0;
  bool onMain = false;
  std::string text;
  center_->addObserver("n", sender.get(), DispatchQueue::main(), [&](const Notification& n) {
    onMain = platform::isMainThread();
    text = std::any_cast<std::string>(n.userInfo.at("text"));
    ++calls;
  });
  auto removed = center_->addObserver(std::nullopt, nullptr, DispatchQueue::main(),
                                      [&](const Notification&) { calls += 100; });
  std::jthread([&] { center_->post("n", sender, {{"text", std::string("hello")}}); }).join();
  EXPECT_EQ(calls, 0);  // scheduled, not run on the posting thread
  center_->removeObserver(removed);
  ASSERT_TRUE(runMainLoopUntil([&] { return calls > 0; }));
  testsupport::drainMainQueue();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(onMain);
  EXPECT_EQ(text, "hello");
}

// Posters on several threads while others add and remove observers. After removeObserver
// returns, the removed block must never run again, not even a call already under way.
TEST_F(NotificationCenterTest, ConcurrentPostsWhileObserversComeAndGo) {
  std::atomic<int> steadyCalls = 0;
  std::atomic<int> lateCalls = 0;
  center_->addObserver(std::nullopt, nullptr, nullptr, [&](const Notification&) { ++steadyCalls; });

  std::vector<std::jthread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        auto removed = std::make_shared<std::atomic<bool>>(false);
        auto token = center_->addObserver("tick", nullptr, nullptr, [&, removed](const auto&) {
          std::this_thread::yield();  // widens the window for a removal to overtake us
          if (*removed) ++lateCalls;
        });
        std::this_thread::yield();
        center_->removeObserver(token);
        *removed = true;
      }
    });
  }
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 300; ++i) center_->post("tick");
    });
  }
  threads.clear();
  EXPECT_EQ(steadyCalls, 4 * 300);
  EXPECT_EQ(lateCalls, 0);
}

}  // namespace
