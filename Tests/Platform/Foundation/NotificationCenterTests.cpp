#include "Platform/Foundation/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Dispatch/DispatchQueue.h"
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

// Which observers a post reaches, by the observer's name and object filters.
enum class Object { none, first, second };
struct FilterCase {
  std::optional<std::string> observedName;
  Object observedObject;
  std::string postedName;
  Object postedObject;
  bool delivered;
};

class NotificationFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(NotificationFilter, DeliversOnlyWhenNameAndObjectMatch) {
  const auto& c = GetParam();
  auto first = std::make_shared<int>(1);
  auto second = std::make_shared<int>(2);
  auto pick = [&](Object o) -> std::shared_ptr<int> {
    return o == Object::first ? first : o == Object::second ? second : nullptr;
  };
  auto center = NotificationCenter::make();
  int calls = 0;
  center->addObserver(c.observedName, pick(c.observedObject).get(), nullptr,
                      [&](const Notification& n) {
                        EXPECT_EQ(n.name, c.postedName);
                        EXPECT_EQ(n.object, pick(c.postedObject));
                        ++calls;
                      });
  center->post(c.postedName, pick(c.postedObject));
  EXPECT_EQ(calls, c.delivered ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    NameAndObject, NotificationFilter,
    ::testing::Values(FilterCase{std::nullopt, Object::none, "a", Object::none, true},
                      FilterCase{std::nullopt, Object::none, "a", Object::first, true},
                      FilterCase{"a", Object::none, "a", Object::second, true},
                      FilterCase{"a", Object::none, "b", Object::none, false},
                      FilterCase{"", Object::none, "", Object::none, true},
                      FilterCase{std::nullopt, Object::first, "a", Object::first, true},
                      FilterCase{std::nullopt, Object::first, "a", Object::second, false},
                      FilterCase{std::nullopt, Object::first, "a", Object::none, false},
                      FilterCase{"a", Object::first, "a", Object::first, true}));

TEST_F(NotificationCenterTest, RunsObserversSynchronouslyInRegistrationOrder) {
  int owner = 0;
  record("1");
  center_->addObserver(&owner, "n", nullptr, [&](const Notification& n) {
    EXPECT_EQ(std::any_cast<int>(n.userInfo.at("count")), 7);
    calls_.push_back("2");
  });
  record("3", "n");
  record("other", "m");
  center_->post("n", nullptr, {{"count", 7}});
  EXPECT_EQ(calls_, (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(NotificationCenterTest, RemovingALaterObserverDuringAPostPreventsItsCall) {
  NotificationCenter::ObserverToken later;
  center_->addObserver(std::nullopt, nullptr, nullptr, [&](const Notification&) {
    calls_.push_back("first");
    center_->removeObserver(later);
  });
  later = record("later");
  record("last");
  center_->post("n");
  EXPECT_EQ(calls_, (std::vector<std::string>{"first", "last"}));
}

TEST_F(NotificationCenterTest, ObserverRemovingItselfIsNotCalledAgain) {
  int owner = 0;
  center_->addObserver(&owner, std::nullopt, nullptr, [&](const Notification&) {
    calls_.push_back("self");
    center_->removeObserver(&owner);
  });
  record("next");
  center_->post("n");
  center_->post("n");
  EXPECT_EQ(calls_, (std::vector<std::string>{"self", "next", "next"}));
}

TEST_F(NotificationCenterTest, ObserverAddedDuringAPostIsFirstCalledByTheNextPost) {
  bool added = false;
  center_->addObserver(std::nullopt, nullptr, nullptr, [&](const Notification&) {
    calls_.push_back("adder");
    if (!std::exchange(added, true)) record("added");
  });
  center_->post("n");
  EXPECT_EQ(calls_, (std::vector<std::string>{"adder"}));
  center_->post("n");
  EXPECT_EQ(calls_, (std::vector<std::string>{"adder", "adder", "added"}));
}

TEST_F(NotificationCenterTest, RemovingByObserverLeavesOtherRegistrationsInPlace) {
  int mine = 0;
  int theirs = 0;
  center_->addObserver(&mine, "a", nullptr, [&](const Notification&) { calls_.push_back("a"); });
  center_->addObserver(&theirs, "a", nullptr, [&](const Notification&) { calls_.push_back("t"); });
  center_->addObserver(&mine, "b", nullptr, [&](const Notification&) { calls_.push_back("b"); });
  auto token = record("token");
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

TEST_F(NotificationCenterTest, RemovalReleasesWhatTheBlockCaptured) {
  auto captured = std::make_shared<int>(0);
  std::weak_ptr<int> watch = captured;
  NotificationCenter::ObserverToken token;
  token = center_->addObserver(std::nullopt, nullptr, nullptr,
                               [this, captured, &token](const Notification&) {
                                 center_->removeObserver(token);
                                 ++*captured;  // still alive while its own call runs
                               });
  captured.reset();
  center_->post("n");
  EXPECT_TRUE(watch.expired());
}

TEST_F(NotificationCenterTest, EmptyBlockRegistersNothing) {
  EXPECT_FALSE(center_->addObserver(std::nullopt, nullptr, nullptr, nullptr));
  center_->post("n");  // nothing to call, nothing thrown
}

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
  std::jthread([&] { center_->post("n", sender, {{"text", std::string("hello")}}); }).join();
  EXPECT_EQ(calls, 0);  // scheduled, not run on the posting thread
  ASSERT_TRUE(runMainLoopUntil([&] { return calls > 0; }));
  testsupport::drainMainQueue();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(onMain);
  EXPECT_EQ(text, "hello");
}

TEST_F(NotificationCenterTest, QueuedObserverRemovedBeforeTheQueueRunsIsNotCalled) {
  int calls = 0;
  auto token = center_->addObserver(std::nullopt, nullptr, DispatchQueue::main(),
                                    [&](const Notification&) { ++calls; });
  center_->post("n");
  center_->removeObserver(token);
  testsupport::drainMainQueue();
  EXPECT_EQ(calls, 0);
}

// Posters on several threads while others add and remove observers. After removeObserver
// returns, the removed block must never run again, not even a call already under way.
TEST_F(NotificationCenterTest, ConcurrentPostsWhileObserversComeAndGo) {
  constexpr int kPosters = 4;
  constexpr int kPostsEach = 300;
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
  for (int t = 0; t < kPosters; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kPostsEach; ++i) center_->post("tick");
    });
  }
  threads.clear();
  EXPECT_EQ(steadyCalls, kPosters * kPostsEach);
  EXPECT_EQ(lateCalls, 0);
}

}  // namespace
