// The outbox behind real cloud-queue gateways, with an HTTP adapter that holds every request
// until the test answers it: events beyond the window wait, then go in order with the time
// they were tracked, and a queue that stops answering opens the window.
#include "Classes/EventTracker/Gateway/BrelumAPI/EventOutbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Classes/EventTracker/EventTracker.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPI.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingJSONEncoderFactory.h"
#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/URLComponents.h"
#include "Tests/Support/MainLoopPump.h"

namespace brelum {
namespace {

using namespace std::chrono_literals;
using testsupport::runMainLoopUntil;

// Holds every request, in the order it came (from the outbox's thread), until answered.
class HeldAdapter : public HTTPAdapter {
 public:
  void request(HTTPRequest request, Completion completion) override {
    std::lock_guard lock(mutex_);
    held_.push_back({std::move(request), std::move(completion)});
  }

  std::size_t count() {
    std::lock_guard lock(mutex_);
    return held_.size();
  }

  // The event object of the document that request `index` carries.
  nlohmann::json event(std::size_t index) {
    std::lock_guard lock(mutex_);
    const auto query = held_.at(index).request.url.query().value_or("");
    const auto body = platform::percentDecode(query.substr(query.find("MessageBody=") + 12));
    return nlohmann::json::parse(body.value_or("{}"))["data"]["event"];
  }

  // Answers request `index` on the main queue, as adapters do: with a response or none.
  void answer(std::size_t index, bool withResponse) {
    const auto [request, completion] = [&] {
      std::lock_guard lock(mutex_);
      return held_.at(index);
    }();
    platform::DispatchQueue::main()->async([request, completion, withResponse] {
      if (withResponse) return completion(HTTPResponse{request, {}, std::nullopt, 200});
      completion(std::unexpected(
          HTTPError{request, {}, std::nullopt, HTTPError::kNoResponseStatusCode, "timed out"}));
    });
  }

 private:
  struct Held {
    HTTPRequest request;
    Completion completion;
  };
  std::mutex mutex_;
  std::vector<Held> held_;
};

class SetClock : public DateFactory {
 public:
  platform::Date now() override { return platform::Date(seconds.load()); }
  std::atomic<double> seconds{0};
};

constexpr auto kWindow = static_cast<int>(EventOutbox::kMaximumInFlight);

class EventOutboxTest : public ::testing::Test {
 protected:
  // Event 0 goes and is answered: the outbox knows the queue answers, so its window holds.
  void SetUp() override {
    track(0, 1);
    answerWhenSent(0, true);
    ASSERT_TRUE(runMainLoopUntil([&] { return completions_[0] == 1; }, 5s));
  }

  // Later tests share the outbox: nothing of this one may stay in flight.
  void TearDown() override {
    for (auto i = answered_; i < tracked_; ++i) answerWhenSent(i, true);
    EXPECT_TRUE(runMainLoopUntil([&] { return completed() == tracked_; }, 10s));
  }

  // Tracks events `first` to `first + count - 1`, each through a gateway of its own, with
  // its number as its collection name and 1000 s + its number as the time.
  void track(int first, int count) {
    for (int i = first; i < first + count; ++i) {
      clock_->seconds = 1000 + i;
      BrelumEventTrackingAPI::make(platform::URL::make(EventTracker::kQueueURL).value(), "app",
                                   "1.0", EventTracker::Data::Device::current(), adapter_, clock_,
                                   std::make_shared<BrelumEventTrackingJSONEncoderFactory>())
          ->track(EventTracker::Event::like("s", "c", std::to_string(i), "1"), {}, [this, i](auto) {
            ++completions_[i];
            offMain_ += platform::DispatchQueue::main()->isCurrent() ? 0 : 1;
          });
    }
    tracked_ = first + count;
  }

  void answerWhenSent(int index, bool withResponse) {
    ASSERT_TRUE(runMainLoopUntil([&] { return adapter_->count() > std::size_t(index); }, 5s))
        << "request " << index << " never came";
    adapter_->answer(index, withResponse);
    answered_ = index + 1;
  }

  int completed() const {
    int calls = 0;
    for (const auto& [event, count] : completions_) calls += count;
    return calls;
  }

  std::shared_ptr<HeldAdapter> adapter_ = std::make_shared<HeldAdapter>();
  std::shared_ptr<SetClock> clock_ = std::make_shared<SetClock>();
  std::map<int, int> completions_;
  int offMain_ = 0;
  int tracked_ = 0;
  int answered_ = 0;
};

TEST_F(EventOutboxTest, WaitingEventsGoOnceInOrderWithTheTimeTheyWereTracked) {
  const int last = kWindow + 3;
  track(1, last);
  clock_->seconds = 5000;  // what a document made at its event's turn would carry
  for (int i = 1; i <= last; ++i) answerWhenSent(i, true);
  ASSERT_TRUE(runMainLoopUntil([&] { return completed() == last + 1; }, 10s));
  for (int i = 1; i <= last; ++i) {
    SCOPED_TRACE(i);
    const auto event = adapter_->event(static_cast<std::size_t>(i));
    EXPECT_EQ(event["event"]["collection_name"], std::to_string(i));
    EXPECT_EQ(event["created_at_in_ms"].get<double>(), (1000.0 + i) * 1000);
    EXPECT_EQ(completions_[i], 1);
  }
  EXPECT_EQ(offMain_, 0);
}

// A queue that stopped answering would otherwise hold the rest back a time-out per window.
TEST_F(EventOutboxTest, AnExchangeWithoutResponseLetsEveryWaitingEventGo) {
  const int last = kWindow + 5;
  track(1, last);
  answerWhenSent(1, false);
  EXPECT_TRUE(runMainLoopUntil([&] { return adapter_->count() == std::size_t(last) + 1; }, 5s));
}

}  // namespace
}  // namespace brelum
