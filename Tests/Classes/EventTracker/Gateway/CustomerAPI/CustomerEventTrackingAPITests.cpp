// The customer-endpoint gateway: what it posts, and that a failed exchange ends in exactly
// one failure instead of silence.
#include "Classes/EventTracker/Gateway/CustomerAPI/CustomerEventTrackingAPI.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "Classes/EventTracker/EventTracker.h"
#include "Classes/HTTP/Curl/CurlHTTPAdapter.h"
#include "Platform/Dispatch/DispatchQueue.h"
#include "Tests/Support/Backend.h"
#include "Tests/Support/MainLoopPump.h"

namespace {

using brelum::CustomerEventTrackingAPI;
using brelum::EventTracker;
using brelum::EventTrackingGateway;
using Event = EventTracker::Event;

constexpr const char* kCustomerURL = "https://api.brelum.io/echo/customer";
const EventTracker::Data::User kUser{"", "user-1", "Ada", "FEMALE"};

std::optional<EventTrackingGateway::Result> track(EventTrackingGateway& gateway,
                                                  const Event& event) {
  return testsupport::awaitCompletion<EventTrackingGateway::Result>(
      [&](auto done) { gateway.track(event, kUser, done); });
}

class CustomerEventTrackingAPITest : public testsupport::BackendTest {};

TEST_F(CustomerEventTrackingAPITest, PostsTheDataRecordAsJSONToTheURLItself) {
  auto gateway =
      CustomerEventTrackingAPI::make(platform::URL::make(kCustomerURL).value(), "app-1", "2.0.0",
                                     std::make_shared<brelum::CurlHTTPAdapter>());
  const auto outcome = track(*gateway, Event::addToBag("show-1", "p-1", "client-p-1"));
  ASSERT_TRUE(outcome && outcome->has_value());

  const auto recorded = backend().requests();
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].method, "POST");
  EXPECT_EQ(recorded[0].path.rfind("/echo/customer", 0), 0u) << recorded[0].path;
  EXPECT_EQ(recorded[0].header("content-type"), "application/json");
  const auto body = nlohmann::json::parse(recorded[0].body, nullptr, false);
  ASSERT_TRUE(body.is_object()) << recorded[0].body;
  ASSERT_EQ(body.size(), 1u);
  const auto& data = body.at("Data");
  EXPECT_EQ(data.size(), 10u);
  EXPECT_EQ(data.at("app_id"), "app-1");
  EXPECT_EQ(data.at("sdk_version"), "2.0.0");
  EXPECT_EQ(data.at("event_name"), "Add to bag");
  EXPECT_EQ(data.at("user"), kUser.dictionary());
  // The event's attribute map, as the catalogue names an added product.
  const nlohmann::json event{{"show_id", "show-1"}, {"product_category_id", "p-1"}};
  EXPECT_EQ(data.at("event"), event);
}

// The pipeline's error path, which the HTTP session gives no way to reach, driven directly.
class FailingRequest : public brelum::APIRequest {
 public:
  FailingRequest() : APIRequest(Method::post, "") {}
  void sendRequest(const platform::URL&, std::function<void(Body)>, OnError onError) override {
    platform::DispatchQueue::main()->async([onError = std::move(onError)] {
      onError(Error{Error::Kind::cannotConnect, "Could not connect to the server."});
    });
  }
};

class UnreachableCustomerAPI : public CustomerEventTrackingAPI {
 public:
  using CustomerEventTrackingAPI::CustomerEventTrackingAPI;

 protected:
  std::shared_ptr<brelum::APIRequest> makeRequest() const override {
    return std::make_shared<FailingRequest>();
  }
};

TEST(CustomerEventTrackingAPIFailureTest, APipelineErrorCompletesOnceWithTheNoResponseMarker) {
  UnreachableCustomerAPI gateway(platform::URL::make(kCustomerURL).value(), "app-1", "2.0.0",
                                 nullptr);
  const auto outcome = track(gateway, Event::closeSDK("show-1"));
  ASSERT_TRUE(outcome && !outcome->has_value());
  const auto& error = outcome->error().underlyingHTTPError();
  EXPECT_EQ(error.statusCode, -1000);
  EXPECT_EQ(error.description, "Could not connect to the server.");
  EXPECT_EQ(outcome->error().debugDescription(),
            "HTTP Error: " + std::string(kCustomerURL) + "/ got an -1000 response.");
}

}  // namespace
