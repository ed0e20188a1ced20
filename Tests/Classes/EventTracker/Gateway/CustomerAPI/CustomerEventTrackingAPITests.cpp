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

TEST_F(CustomerEventTrackingAPITest, PostsTheDataRecordOnceAsJSONToTheURLItself) {
  auto gateway =
      CustomerEventTrackingAPI::make(platform::URL::make(kCustomerURL).value(), "app-1", "2.0.0",
                                     std::make_shared<brelum::CurlHTTPAdapter>());
  const auto outcome = track(*gateway, Event::addToBag("show-1", "p-1", "client-p-1"));
  ASSERT_TRUE(outcome) << "no completion";
  ASSERT_TRUE(outcome->has_value()) << outcome->error().debugDescription();
  const auto recorded = backend().requests();
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].method, "POST");
  EXPECT_TRUE(recorded[0].path.starts_with("/echo/customer")) << recorded[0].path;
  EXPECT_EQ(recorded[0].header("content-type"), "application/json");

  // The whole record, keys included; the creation fields as they came (their format is the
  // record's own test).
  const auto body = nlohmann::json::parse(recorded[0].body);
  auto expected = nlohmann::json::parse(
      R"({"Data":{"app_id":"app-1","sdk_version":"2.0.0","event_name":"Add to bag","mode":"COMMERCE",)"
      R"("user":{"user_id":"","client_user_id":"user-1","name":"Ada","gender":"FEMALE"},)"
      R"("event":{"product_category_id":"p-1","show_id":"show-1"}}})");
  const auto& device = EventTracker::Data::Device::current();
  auto& data = expected["Data"];
  data["device"] = {{"id", device.id},         {"model", device.model},
                    {"os_ver", device.os_ver}, {"data_network", device.data_network},
                    {"platform", "iOS"},       {"is_wifi", device.is_wifi}};
  data["app_identifier"] = EventTracker::Data::Device::applicationVersion();
  for (const auto* key : {"created_at", "created_at_in_ms"}) data[key] = body.at("Data").at(key);
  EXPECT_EQ(body, expected);

  // An event goes out at most once: a reply lost on the kept-alive connection is not sent
  // again on a new one, as the endpoint may have stored it.
  backend().drop("*", testsupport::Backend::Drop::beforeResponse);
  (void)track(*gateway, Event::closeSDK("show-1"));
  EXPECT_EQ(backend().requests().size(), 2u);
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
  ASSERT_TRUE(outcome) << "no completion";
  ASSERT_FALSE(outcome->has_value()) << "succeeded without a response";
  const auto& error = outcome->error().underlyingHTTPError();
  EXPECT_EQ(error.statusCode, -1000);
  EXPECT_EQ(error.description, "Could not connect to the server.");
  EXPECT_EQ(outcome->error().debugDescription(),
            "HTTP Error: " + std::string(kCustomerURL) + "/ got an -1000 response.");
}

}  // namespace
