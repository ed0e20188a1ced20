#include "Classes/HTTP/Curl/CurlHTTPAdapter.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "Tests/Support/Backend.h"
#include "Tests/Support/LoopbackPorts.h"
#include "Tests/Support/MainLoopPump.h"

using brelum::CurlHTTPAdapter;
using brelum::HTTPAdapter;
using brelum::HTTPError;
using brelum::HTTPMethod;
using brelum::HTTPRequest;

namespace {

platform::URL url(std::string_view text) {
  return *platform::URL::make(text);
}

std::optional<HTTPAdapter::Result> send(HTTPRequest request) {
  return testsupport::awaitCompletion<HTTPAdapter::Result>(
      [&](auto done) { std::make_shared<CurlHTTPAdapter>()->request(std::move(request), done); });
}

std::string text(const std::optional<std::vector<std::uint8_t>>& bytes) {
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

class CurlHTTPAdapterTest : public testsupport::BackendTest {};

// Only 200 to 299 succeed; a failure keeps the status, the headers and the body.
TEST_F(CurlHTTPAdapterTest, OnlyTwoHundredsSucceedAndFailuresKeepStatusHeadersAndBody) {
  for (int status : {200, 299, 300}) {
    const auto code = std::to_string(status);
    auto outcome = send(HTTPRequest::get(url("https://console.brelum.io/echo/status/" + code), {}));
    ASSERT_TRUE(outcome);
    ASSERT_EQ(outcome->has_value(), status < 300) << code;
    if (outcome->has_value()) {
      EXPECT_EQ((*outcome)->statusCode, status);
      EXPECT_EQ((*outcome)->headers.at("x-status"), code);
      EXPECT_EQ(text((*outcome)->body), "status " + code);
      continue;
    }
    const HTTPError& error = outcome->error();
    EXPECT_EQ(error.statusCode, status);
    EXPECT_EQ(error.headers.at("x-status"), code);
    EXPECT_EQ(text(error.body), "status " + code);
    EXPECT_NE(error.description.find(code), std::string::npos) << error.description;
  }
}

// Sent twice, a header keeps both values in the order they came, as HTTP joins them.
TEST_F(CurlHTTPAdapterTest, AHeaderSentTwiceHoldsBothValuesJoinedByComma) {
  auto outcome = send(HTTPRequest::get(url("https://console.brelum.io/echo/repeated"), {}));
  ASSERT_TRUE(outcome) << "no completion";
  ASSERT_TRUE(outcome->has_value()) << outcome->error().description;
  EXPECT_EQ((*outcome)->headers.at("x-repeated"), "one, two");
}

TEST_F(CurlHTTPAdapterTest, RefusedConnectionIsMinusOneThousandWithoutHeaders) {
  auto outcome = send(HTTPRequest::get(url(testsupport::refusedURL()), {}));
  ASSERT_TRUE(outcome) << "no completion";
  ASSERT_FALSE(outcome->has_value()) << "succeeded";
  EXPECT_EQ(outcome->error().statusCode, HTTPError::kNoResponseStatusCode);
  EXPECT_TRUE(outcome->error().headers.empty());
  EXPECT_FALSE(outcome->error().body);
  EXPECT_FALSE(outcome->error().description.empty());
}

TEST_F(CurlHTTPAdapterTest, SendsMethodHeadersAsTextAndBodyAndHandsBackTheRequestAsGiven) {
  HTTPRequest request{HTTPMethod::put,
                      url("https://console.brelum.io/echo/put"),
                      {{"x-count", 5}, {"x-name", "five"}, {"x-ratio", 2.5}},
                      std::vector<std::uint8_t>{'h', 'i'}};
  auto outcome = send(request);
  ASSERT_TRUE(outcome) << "no completion";
  ASSERT_TRUE(outcome->has_value()) << outcome->error().description;
  EXPECT_EQ((*outcome)->request, request);

  const auto recorded = backend().requests("/echo/put");
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].method, "PUT");
  EXPECT_EQ(recorded[0].header("x-count"), "5");
  EXPECT_EQ(recorded[0].header("x-name"), "five");
  EXPECT_EQ(recorded[0].header("x-ratio"), "2.5");
  EXPECT_EQ(recorded[0].body, "hi");
}

TEST_F(CurlHTTPAdapterTest, ARequestWhoseReplyIsDroppedReachesTheServerOnce) {
  // A kept-alive connection, so that libcurl would send the request again on a new one.
  auto warm = send(HTTPRequest::get(url("https://console.brelum.io/echo/warm"), {}));
  ASSERT_TRUE(warm) << "no completion";
  ASSERT_TRUE(warm->has_value()) << warm->error().description;
  backend().drop("/echo/event", testsupport::Backend::Drop::beforeResponse);
  auto outcome = send(HTTPRequest::get(url("https://console.brelum.io/echo/event"), {}));
  ASSERT_TRUE(outcome) << "no completion";
  ASSERT_FALSE(outcome->has_value()) << "succeeded";
  EXPECT_EQ(outcome->error().statusCode, HTTPError::kNoResponseStatusCode);
  EXPECT_EQ(backend().requests("/echo/event").size(), 1u);
}

}  // namespace
