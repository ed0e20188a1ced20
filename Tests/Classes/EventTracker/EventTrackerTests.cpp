// The tracker against fakes at its two seams (gateway factory, logger): what it hands each
// gateway, what it logs, and that the host's callback runs once whatever happens.
#include "Classes/EventTracker/EventTracker.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Tests/Support/MainLoopPump.h"

namespace {

using brelum::EventGatewayError;
using brelum::EventTracker;
using brelum::EventTrackingGateway;
using brelum::EventTrackingGatewayFactory;
using brelum::HTTPError;
using brelum::HTTPRequest;
using Event = EventTracker::Event;
using User = EventTracker::Data::User;
using testsupport::runMainLoopUntil;

class RecordingLogger : public brelum::Logger {
 public:
  void debug(const std::string& message) override { lines.push_back(message); }
  std::vector<std::string> lines;
};

class RecordingLoggerFactory : public brelum::LoggerFactory {
 public:
  std::shared_ptr<brelum::Logger> make() override { return logger; }
  std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();
};

// Keeps every delivery open until the test finishes it, as a slow network would.
class HeldGatewayFactory : public EventTrackingGatewayFactory {
 public:
  struct Delivery {
    platform::URL baseURL;
    std::optional<platform::URL> extraURL;
    std::string appId;
    std::string sdkVersion;
    EventTracker::Data::Device device;
    std::string eventName;
    User user;
    EventTrackingGateway::Completion completion;
  };

  std::shared_ptr<EventTrackingGateway> make(const platform::URL& baseURL,
                                             const std::optional<platform::URL>& extraURL,
                                             const std::string& appId,
                                             const std::string& sdkVersion,
                                             const EventTracker::Data::Device& device) override {
    auto delivery = std::make_shared<Delivery>(
        Delivery{baseURL, extraURL, appId, sdkVersion, device, {}, {}, nullptr});
    deliveries.push_back(delivery);
    return std::make_shared<Gateway>(delivery);
  }

  // Completes delivery `index` on the main queue, as gateways do.
  void finish(std::size_t index, EventTrackingGateway::Result result) {
    platform::DispatchQueue::main()->async([completion = deliveries.at(index)->completion,
                                            result = std::move(result)] { completion(result); });
  }

  std::vector<std::shared_ptr<Delivery>> deliveries;

 private:
  class Gateway : public EventTrackingGateway {
   public:
    explicit Gateway(std::shared_ptr<Delivery> delivery) : delivery_(std::move(delivery)) {}
    void track(const Event& event, const User& user, Completion completion) override {
      delivery_->eventName = event.name();
      delivery_->user = user;
      delivery_->completion = std::move(completion);
    }

   private:
    std::shared_ptr<Delivery> delivery_;
  };
};

EventGatewayError failure(int status) {
  const auto url = platform::URL::make(std::string(EventTracker::kQueueURL) +
                                       "?Action=SendMessage&MessageBody=%7B%7D")
                       .value();
  return EventGatewayError::httpError(
      HTTPError{HTTPRequest::get(url, {}), {}, std::nullopt, status, "refused"});
}

const User kAda{"", "user-1", "Ada", "FEMALE"};

class EventTrackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedGateways_ = EventTracker::eventTrackingGatewayFactory();
    savedLoggers_ = EventTracker::loggerFactory();
    EventTracker::setEventTrackingGatewayFactory(gateways_);
    EventTracker::setLoggerFactory(loggers_);
  }
  void TearDown() override {
    testsupport::drainMainQueue();
    EventTracker::setEventTrackingGatewayFactory(savedGateways_);
    EventTracker::setLoggerFactory(savedLoggers_);
  }

  std::shared_ptr<HeldGatewayFactory> gateways_ = std::make_shared<HeldGatewayFactory>();
  std::shared_ptr<RecordingLoggerFactory> loggers_ = std::make_shared<RecordingLoggerFactory>();

 private:
  std::shared_ptr<EventTrackingGatewayFactory> savedGateways_;
  std::shared_ptr<brelum::LoggerFactory> savedLoggers_;
};

TEST_F(EventTrackerTest, AReleasedTrackerLogsNothingButStillCallsBack) {
  auto tracker = EventTracker::make("app-1", "2.0.0", kAda, false);
  int calls = 0;
  tracker->send(Event::closeSDK("show-1"), [&] { ++calls; });
  tracker.reset();
  gateways_->finish(0, std::unexpected(failure(500)));
  ASSERT_TRUE(runMainLoopUntil([&] { return calls > 0; }));
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(loggers_->logger->lines.empty());
}

TEST_F(EventTrackerTest, WithoutACallbackAFailureIsStillLogged) {
  auto tracker = EventTracker::make("app-1", "2.0.0", kAda, false);
  tracker->send(Event::open_app("entry-1"));
  gateways_->finish(0, std::unexpected(failure(500)));
  ASSERT_TRUE(runMainLoopUntil([&] { return !loggers_->logger->lines.empty(); }));
  EXPECT_EQ(loggers_->logger->lines.size(), 1u);
}

TEST_F(EventTrackerTest, AGatewayReportingTwiceIsHandledOnce) {
  auto tracker = EventTracker::make("app-1", "2.0.0", kAda, false);
  int calls = 0;
  tracker->send(Event::display_chat("show-1"), [&] { ++calls; });
  gateways_->finish(0, std::unexpected(failure(500)));
  gateways_->finish(0, std::unexpected(failure(500)));
  testsupport::drainMainQueue();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(loggers_->logger->lines.size(), 1u);
}

// Each event gets its own gateway with the tracker's fields as they are at that send: a
// later change of the user or the customer URL does not reach a delivery already started.
TEST_F(EventTrackerTest, EachSendHandsANewGatewayTheFieldsOfThatMoment) {
  auto tracker = EventTracker::make("app-1", "2.0.0", kAda, false);
  tracker->send(Event::dismiss_chat("show-1"));
  const User grace{"", "user-2", "Grace", "NONE"};
  tracker->setUser(grace);
  const auto customer = platform::URL::make("https://api.brelum.io/v1/customer/events").value();
  tracker->setExtraURL(customer);
  tracker->send(Event::keyboard_status("show-1", true));

  ASSERT_EQ(gateways_->deliveries.size(), 2u);
  const auto& first = *gateways_->deliveries[0];
  const auto& second = *gateways_->deliveries[1];
  EXPECT_EQ(first.user, kAda);
  EXPECT_EQ(second.user, grace);
  EXPECT_EQ(first.extraURL, std::nullopt);
  EXPECT_EQ(second.extraURL, customer);
  EXPECT_EQ(first.eventName, "Dismiss chat");
  EXPECT_EQ(second.eventName, "Keyboard status");
  for (const auto* delivery : {&first, &second}) {
    EXPECT_EQ(delivery->baseURL.absoluteString(), EventTracker::kQueueURL);
    EXPECT_EQ(delivery->appId, "app-1");
    EXPECT_EQ(delivery->sdkVersion, "2.0.0");
    EXPECT_EQ(delivery->device, EventTracker::Data::Device::current());
  }
}

// What a second facade does to the first one's tracker: its next event goes through the
// new gateway factory, and its failure line still goes to the logger it was made with.
TEST_F(EventTrackerTest, ReplacedSlotsServeLaterSendsButNotTheLoggerAlreadyMade) {
  auto tracker = EventTracker::make("app-1", "2.0.0", kAda, false);
  auto laterGateways = std::make_shared<HeldGatewayFactory>();
  auto laterLoggers = std::make_shared<RecordingLoggerFactory>();
  EventTracker::setEventTrackingGatewayFactory(laterGateways);
  EventTracker::setLoggerFactory(laterLoggers);

  int calls = 0;
  tracker->send(Event::share("show-1", "c-1", "Coats", "12"), [&] { ++calls; });
  EXPECT_TRUE(gateways_->deliveries.empty());
  ASSERT_EQ(laterGateways->deliveries.size(), 1u);
  laterGateways->finish(0, std::unexpected(failure(502)));
  ASSERT_TRUE(runMainLoopUntil([&] { return calls > 0; }));
  EXPECT_EQ(loggers_->logger->lines.size(), 1u);
  EXPECT_TRUE(laterLoggers->logger->lines.empty());
}

using EventTrackerDeathTest = EventTrackerTest;

TEST_F(EventTrackerDeathTest, AnEmptySlotStopsTheProcessWithTheReason) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        EventTracker::setLoggerFactory(nullptr);
        (void)EventTracker::make("app-1", "2.0.0", kAda, false);
      },
      "no logger factory");
  EXPECT_DEATH(
      {
        auto tracker = EventTracker::make("app-1", "2.0.0", kAda, false);
        EventTracker::setEventTrackingGatewayFactory(nullptr);
        tracker->send(Event::closeSDK("show-1"));
      },
      "no event tracking gateway factory");
}

}  // namespace
