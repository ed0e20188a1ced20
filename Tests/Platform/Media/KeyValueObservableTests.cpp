#include "Platform/Media/KeyValueObservable.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using platform::KeyValueObservable;
using platform::KeyValueObserver;

class Observed : public KeyValueObservable {
 public:
  void change(const std::string& keyPath) { didChangeValue(keyPath, this); }
};

class Recorder : public KeyValueObserver {
 public:
  void observeValue(const std::optional<std::string>& keyPath, const void* object,
                    const platform::KeyValueChange& change, void* context) override {
    heard.push_back(keyPath.value_or("?"));
    objects.push_back(object);
    contexts.push_back(context);
    EXPECT_TRUE(change.empty());
    if (then) then();
  }

  std::vector<std::string> heard;
  std::vector<const void*> objects;
  std::vector<void*> contexts;
  std::function<void()> then;
};

TEST(KeyValueObservableTest, ChangeReachesOnlyObserversOfThatExactKeyPath) {
  Observed observed;
  auto status = std::make_shared<Recorder>();
  auto rate = std::make_shared<Recorder>();
  int context = 0;
  observed.addObserver(status, "status", &context);
  observed.addObserver(rate, "player.rate");
  observed.change("status");
  observed.change("Status");
  observed.change("rate");
  EXPECT_EQ(status->heard, std::vector<std::string>{"status"});
  EXPECT_EQ(status->objects, std::vector<const void*>{&observed});
  EXPECT_EQ(status->contexts, std::vector<void*>{&context});
  EXPECT_TRUE(rate->heard.empty());
}

TEST(KeyValueObservableTest, EachRegistrationHearsOnceAndRemovalTakesOneOrNothing) {
  Observed observed;
  auto recorder = std::make_shared<Recorder>();
  observed.removeObserver(recorder.get(), "status");  // not registered: harmless
  observed.addObserver(recorder, "status");
  observed.addObserver(recorder, "status");
  observed.change("status");
  observed.removeObserver(recorder.get(), "player.rate");
  observed.removeObserver(recorder.get(), "status");
  observed.change("status");
  observed.removeObserver(recorder.get(), "status");
  observed.removeObserver(recorder.get(), "status");
  observed.change("status");
  EXPECT_EQ(recorder->heard.size(), 3u);
}

TEST(KeyValueObservableTest, ObserverRemovedDuringANoticeIsNotCalledByIt) {
  Observed observed;
  auto first = std::make_shared<Recorder>();
  auto second = std::make_shared<Recorder>();
  auto added = std::make_shared<Recorder>();
  first->then = [&] {
    observed.removeObserver(second.get(), "status");
    observed.addObserver(added, "status");
  };
  observed.addObserver(first, "status");
  observed.addObserver(second, "status");
  observed.change("status");
  EXPECT_TRUE(second->heard.empty());
  EXPECT_TRUE(added->heard.empty());
  first->then = nullptr;
  observed.change("status");
  EXPECT_EQ(added->heard.size(), 1u);
}

TEST(KeyValueObservableTest, ObserverThatDiedIsSkippedAndForgotten) {
  Observed observed;
  auto recorder = std::make_shared<Recorder>();
  observed.addObserver(recorder, "status");
  recorder.reset();
  observed.change("status");
  EXPECT_EQ(observed.observationCount("status"), 0u);
}

}  // namespace
