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

namespace brelum {
namespace {

using Event = EventTracker::Event;
using User = EventTracker::Data::User;

// The logger factory that makes itself: every tracker's lines land in `lines`.
struct RecordingLogger : Logger, LoggerFactory, std::enable_shared_from_this<RecordingLogger> {
  void debug(const std::string& message) override { lines.push_back(message); }
  std::shared_ptr<Logger> make() override { return shared_from_this(); }
  std::vector<std::string> lines;
};

// Keeps every delivery open until the test finishes it, as a slow network would.
class HeldGatewayFactory : public EventTrackingGatewayFactory {
 public:
  struct Delivery : EventTrackingGateway {
    std::string setup;  // base URL, customer URL, app id and SDK version
    std::string eventName;
    EventTracker::Data::Device device;
    User user;
    Completion completion;
    void track(const Event& event, const User& u, Completion done) override {
      eventName = event.name();
      user = u;
      completion = std::move(done);
    }
  };

  std::shared_ptr<EventTrackingGateway> make(const platform::URL& baseURL,
                                             const std::optional<platform::URL>& extraURL,
                                             const std::string& appId,
                                             const std::string& sdkVersion,
                                             const EventTracker::Data::Device& device) override {
    auto delivery = std::make_shared<Delivery>();
    delivery->setup = baseURL.absoluteString() + " " +
                      (extraURL ? extraURL->absoluteString() : "-") + " " + appId + " " +
                      sdkVersion;
    delivery->device = device;
    return deliveries.emplace_back(delivery);
  }

  // Completes delivery `index` on the main queue, as gateways do.
  void finish(std::size_t index, EventTrackingGateway::Result result) {
    platform::DispatchQueue::main()->async([completion = deliveries.at(index)->completion,
                                            result = std::move(result)] { completion(result); });
  }

  std::vector<std::shared_ptr<Delivery>> deliveries;
};

constexpr std::string_view kFailedURL = "https://q.test/e?MessageBody=%7B%7D";

EventGatewayError failure(int status) {
  const auto url = platform::URL::make(kFailedURL).value();
  return EventGatewayError::httpError(
      HTTPError{HTTPRequest::get(url, {}), {}, std::nullopt, status, "refused"});
}

const User kAda{"", "user-1", "Ada", "FEMALE"};

class EventTrackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EventTracker::setEventTrackingGatewayFactory(gateways_);
    EventTracker::setLoggerFactory(logger_);
  }
  void TearDown() override {
    testsupport::drainMainQueue();
    EventTracker::setEventTrackingGatewayFactory(saved_.first);
    EventTracker::setLoggerFactory(saved_.second);
  }

  std::shared_ptr<HeldGatewayFactory> gateways_ = std::make_shared<HeldGatewayFactory>();
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
  const std::pair<std::shared_ptr<EventTrackingGatewayFactory>, std::shared_ptr<LoggerFactory>>
      saved_{EventTracker::eventTrackingGatewayFactory(), EventTracker::loggerFactory()};
};

TEST_F(EventTrackerTest, AReleasedTrackerLogsNothingButStillCallsBack) {
  auto tracker = EventTracker::make("app-1", "2.0.0", kAda, false);
  int calls = 0;
  tracker->send(Event::closeSDK("show-1"), [&] { ++calls; });
  tracker.reset();
  gateways_->finish(0, std::unexpected(failure(500)));
  testsupport::drainMainQueue();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(logger_->lines.empty());
}

// Each outcome is handled once, reported twice or not; a failure is logged with the event's
// name, with or without a callback, and a success is not logged.
TEST_F(EventTrackerTest, EachOutcomeIsHandledOnceAndEachFailureLoggedByName) {
  auto tracker = EventTracker::make("app-1", "2.0.0", kAda, false);
  int calls = 0;
  tracker->send(Event::display_chat("show-1"), [&] { ++calls; });
  tracker->send(Event::open_app("entry-1"));
  tracker->send(Event::dismiss_chat("show-1"), [&] { ++calls; });
  gateways_->finish(0, std::unexpected(failure(500)));
  gateways_->finish(0, std::unexpected(failure(500)));
  gateways_->finish(1, std::unexpected(failure(403)));
  gateways_->finish(2, {});
  testsupport::drainMainQueue();
  EXPECT_EQ(calls, 2);
  const std::string url(kFailedURL);
  EXPECT_EQ(logger_->lines,
            (std::vector<std::string>{
                "\U0001F534 [Display chat event]: HTTP Error: " + url + " got an 500 response.",
                "\U0001F534 [Open App event]: HTTP Error: " + url + " got an 403 response."}));
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
  const std::string queue(EventTracker::kQueueURL);
  EXPECT_EQ(first.setup, queue + " - app-1 2.0.0");
  EXPECT_EQ(second.setup, queue + " " + customer.absoluteString() + " app-1 2.0.0");
  EXPECT_EQ(first.eventName, "Dismiss chat");
  EXPECT_EQ(second.eventName, "Keyboard status");
  EXPECT_EQ(first.device, EventTracker::Data::Device::current());
}

// What a second facade does to the first one's tracker: its next event goes through the
// new gateway factory, and its failure line still goes to the logger it was made with.
TEST_F(EventTrackerTest, ReplacedSlotsServeLaterSendsButNotTheLoggerAlreadyMade) {
  auto tracker = EventTracker::make("app-1", "2.0.0", kAda, false);
  auto laterGateways = std::make_shared<HeldGatewayFactory>();
  auto laterLoggers = std::make_shared<RecordingLogger>();
  EventTracker::setEventTrackingGatewayFactory(laterGateways);
  EventTracker::setLoggerFactory(laterLoggers);

  tracker->send(Event::share("show-1", "c-1", "Coats", "12"));
  EXPECT_TRUE(gateways_->deliveries.empty());
  ASSERT_EQ(laterGateways->deliveries.size(), 1u);
  laterGateways->finish(0, std::unexpected(failure(502)));
  testsupport::drainMainQueue();
  EXPECT_EQ(logger_->lines.size(), 1u);
  EXPECT_TRUE(laterLoggers->lines.empty());
}

using EventTrackerDeathTest = EventTrackerTest;

TEST_F(EventTrackerDeathTest, AnEmptySlotStopsTheProcessWithTheReason) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH((EventTracker::setLoggerFactory(nullptr),
                (void)EventTracker::make("app-1", "2.0.0", kAda, false)),
               "no logger factory");
  auto tracker = EventTracker::make("app-1", "2.0.0", kAda, false);
  EXPECT_DEATH((EventTracker::setEventTrackingGatewayFactory(nullptr),
                tracker->send(Event::closeSDK("show-1"))),
               "no event tracking gateway factory");
}

}  // namespace
}  // namespace brelum
