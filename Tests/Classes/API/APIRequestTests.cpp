#include "Classes/API/APIRequest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "Classes/API/APIManager.h"
#include "Classes/API/Responses/ErrorResponse.h"
#include "Classes/API/Responses/VerifyReponse.h"
#include "Platform/Foundation/Console.h"
#include "Tests/Support/Backend.h"
#include "Tests/Support/LoopbackPorts.h"
#include "Tests/Support/MainLoopPump.h"

using namespace std::chrono_literals;
using brelum::APIManager;
using brelum::APIRequest;
using platform::HTTPMethod;
using testsupport::runMainLoopUntil;

namespace {

const platform::URL kConsole = *platform::URL::make("https://console.brelum.io/");

// What one send delivered: exactly one of the callbacks, counted.
struct Delivery {
  std::optional<APIRequest::Body> body;
  std::optional<std::optional<APIRequest::Error>> error;
  int calls = 0;
  bool onMainQueue = true;

  void note() {
    ++calls;
    onMainQueue = onMainQueue && platform::DispatchQueue::main()->isCurrent();
  }
};

void awaitOneCall(const Delivery& delivery) {
  EXPECT_TRUE(runMainLoopUntil([&] { return delivery.calls > 0; }, 20s));
  testsupport::drainMainQueue();
  EXPECT_EQ(delivery.calls, 1);
  EXPECT_TRUE(delivery.onMainQueue);
}

Delivery send(const std::shared_ptr<APIRequest>& request, const platform::URL& base = kConsole) {
  Delivery delivery;
  request->sendRequest(
      base,
      [&](APIRequest::Body body) {
        delivery.note();
        delivery.body = std::move(body);
      },
      [&](std::optional<APIRequest::Error> error) {
        delivery.note();
        delivery.error = std::move(error);
      });
  awaitOneCall(delivery);
  return delivery;
}

template <class T>
struct Mapped {
  std::optional<T> model;
  std::optional<std::optional<APIRequest::Error>> error;
  int calls = 0;
};

template <class T>
Mapped<T> fetch(const std::shared_ptr<APIRequest>& request, std::optional<std::string> keyPath) {
  Mapped<T> mapped;
  request->requestJSONObject<T>(
      kConsole, std::move(keyPath),
      [&](T model) {
        ++mapped.calls;
        mapped.model = std::move(model);
      },
      [&](std::optional<APIRequest::Error> error) {
        ++mapped.calls;
        mapped.error = std::move(error);
      });
  EXPECT_TRUE(runMainLoopUntil([&] { return mapped.calls > 0; }, 20s));
  testsupport::drainMainQueue();
  EXPECT_EQ(mapped.calls, 1);
  return mapped;
}

std::string text(const std::optional<APIRequest::Body>& body) {
  return body ? std::string(body->begin(), body->end()) : std::string("<none>");
}

class APIRequestTest : public testsupport::BackendTest {};

TEST_F(APIRequestTest, GetSendsPlainTextWithParametersInTheQuery) {
  auto request = APIRequest::make(HTTPMethod::get, "echo/list");
  EXPECT_EQ(request->contentType(), APIRequest::ContentType::text);
  request->setParams({{"q", "a+b&c=d"}, {"page", "2"}});
  send(request);

  const auto recorded = backend().requests("/echo/list");
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].method, "GET");
  EXPECT_EQ(recorded[0].header("content-type"), "text/plain");
  EXPECT_EQ(recorded[0].queryValue("q"), "a+b&c=d");
  EXPECT_EQ(recorded[0].queryValue("page"), "2");
  EXPECT_TRUE(recorded[0].body.empty());
}

TEST_F(APIRequestTest, OtherMethodsSendAJSONBody) {
  for (auto method : {HTTPMethod::post, HTTPMethod::put, HTTPMethod::delete_}) {
    backend().reset();
    auto request = APIRequest::make(method, "echo/items");
    EXPECT_EQ(request->contentType(), APIRequest::ContentType::json);
    request->setParams({{"name", "ü & +"}});
    send(request);
    const auto recorded = backend().requests("/echo/items");
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].method, platform::rawValue(method));
    EXPECT_EQ(recorded[0].header("content-type"), "application/json");
    EXPECT_EQ(nlohmann::json::parse(recorded[0].body), (nlohmann::json{{"name", "ü & +"}}));
  }
}

TEST_F(APIRequestTest, ContentTypeSetAfterConstructionSwitchesHeaderAndEncoding) {
  auto request = APIRequest::make(HTTPMethod::get, "echo/switched");
  request->setContentType(APIRequest::ContentType::json);
  request->setParams({{"k", "v"}});
  send(request);
  const auto recorded = backend().requests("/echo/switched");
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].header("content-type"), "application/json");
  EXPECT_EQ(nlohmann::json::parse(recorded[0].body), (nlohmann::json{{"k", "v"}}));
  EXPECT_TRUE(recorded[0].rawQuery.empty());
}

TEST_F(APIRequestTest, EverySendRewritesTheContentTypeHeaderAndReadsFieldsAfresh) {
  auto request = APIRequest::make(HTTPMethod::post, "echo/again");
  request->setHeaders({{"Content-Type", "application/xml"}, {"x-kept", "1"}});
  send(request);
  EXPECT_EQ(request->headers().at("Content-Type"), "application/json");

  request->setContentType(APIRequest::ContentType::text);
  request->setParams({{"second", "yes"}});
  send(request);
  EXPECT_EQ(request->headers().at("Content-Type"), "text/plain");

  const auto recorded = backend().requests("/echo/again");
  ASSERT_EQ(recorded.size(), 2u);
  EXPECT_EQ(recorded[0].header("content-type"), "application/json");
  EXPECT_EQ(recorded[1].header("content-type"), "text/plain");
  EXPECT_EQ(recorded[1].header("x-kept"), "1");
  EXPECT_EQ(recorded[1].body, "second=yes");
}

TEST_F(APIRequestTest, ErrorStatusesWithABodyReachOnSuccessAndMapIntoAModel) {
  const std::string document = R"({"error":{"code":401,"message":"denied"}})";
  for (int status : {404, 500}) {
    backend().reset();
    backend().failWith("/v1/app/verify", status, document);
    auto delivery = send(APIRequest::make(HTTPMethod::post, "v1/app/verify"));
    EXPECT_EQ(text(delivery.body), document);

    backend().failWith("/v1/app/verify", status, document);
    auto mapped =
        fetch<brelum::VerifyReponse>(APIRequest::make(HTTPMethod::post, "v1/app/verify"), "data");
    ASSERT_TRUE(mapped.model);
    ASSERT_TRUE(mapped.model->error);
    EXPECT_EQ(mapped.model->error->code, 401);
    EXPECT_FALSE(mapped.model->data());
  }
}

TEST_F(APIRequestTest, AnEmptyBodyIsASuccessButMapsIntoNoModel) {
  backend().failWith("/v1/app/verify", 204);
  auto delivery = send(APIRequest::make(HTTPMethod::post, "v1/app/verify"));
  ASSERT_TRUE(delivery.body);
  EXPECT_TRUE(delivery.body->empty());

  backend().failWith("/v1/app/verify", 204);
  auto mapped =
      fetch<brelum::VerifyReponse>(APIRequest::make(HTTPMethod::post, "v1/app/verify"), "data");
  EXPECT_FALSE(mapped.model);
  ASSERT_TRUE(mapped.error);
  EXPECT_FALSE(*mapped.error);
}

TEST_F(APIRequestTest, ATransportFailureArrivesAsAnEmptyBody) {
  const auto refused = *platform::URL::make(testsupport::refusedURL());
  auto delivery = send(APIRequest::make(HTTPMethod::get, "anything"), refused);
  ASSERT_TRUE(delivery.body);
  EXPECT_TRUE(delivery.body->empty());
}

TEST_F(APIRequestTest, InvalidJSONAndNonUTF8BodiesEndInOnErrorWithoutAValue) {
  for (std::string body : {std::string("{not json"), std::string("\xff\xfe{}", 4)}) {
    backend().reset();
    backend().failWith("/v1/app/verify", 200, body);
    auto mapped =
        fetch<brelum::VerifyReponse>(APIRequest::make(HTTPMethod::post, "v1/app/verify"), "data");
    EXPECT_FALSE(mapped.model);
    ASSERT_TRUE(mapped.error);
    EXPECT_FALSE(*mapped.error);
  }
}

TEST_F(APIRequestTest, VerboseSendPrintsSendingReceivedAndTheBody) {
  backend().failWith("/v1/app/verify", 200, R"({"data":{}})");
  auto request = APIRequest::make(HTTPMethod::post, "v1/app/verify");
  request->setVerbose(true);
  platform::ConsoleCapture console;
  Delivery delivery;
  request->sendRequest(
      kConsole, [&](APIRequest::Body) { delivery.note(); },
      [&](std::optional<APIRequest::Error>) { delivery.note(); });
  // Switching verbose off after the send leaves that send's lines; the endpoint printed on
  // arrival is the one the request holds then.
  request->setVerbose(false);
  request->setEndpoint("v1/changed");
  awaitOneCall(delivery);
  EXPECT_EQ(console.lines(), (std::vector<std::string>{
                                 "Sending https://console.brelum.io/ v1/app/verify",
                                 "Received https://console.brelum.io/ v1/changed",
                                 R"({"data":{}})",
                             }));
}

TEST_F(APIRequestTest, QuietSendPrintsNothingAndNonUTF8BodyPrintsAnEmptyLine) {
  {
    platform::ConsoleCapture console;
    send(APIRequest::make(HTTPMethod::get, "echo/quiet"));
    EXPECT_TRUE(console.lines().empty());
  }
  backend().failWith("/echo/binary", 200, std::string("\xff\xfe", 2));
  auto request = APIRequest::make(HTTPMethod::get, "echo/binary");
  request->setVerbose(true);
  platform::ConsoleCapture console;
  send(request);
  ASSERT_EQ(console.lines().size(), 3u);
  EXPECT_EQ(console.lines()[2], "");
}

TEST_F(APIRequestTest, ThePendingSendKeepsTheRequestAlive) {
  Delivery delivery;
  APIRequest::make(HTTPMethod::get, "echo/alive")
      ->sendRequest(
          kConsole, [&](APIRequest::Body) { delivery.note(); },
          [&](std::optional<APIRequest::Error>) { delivery.note(); });
  awaitOneCall(delivery);
}

TEST_F(APIRequestTest, ManagerAddsTheAccessTokenButNotItsVerboseFlag) {
  APIManager manager{*platform::URL::make("https://api.brelum.io/"), "token-1", true};
  auto request = APIRequest::make(HTTPMethod::get, "echo/me");
  request->setHeaders({{"access-token", "stale"}});
  platform::ConsoleCapture console;
  int successes = 0;
  manager.sendRequest(
      request, [&] { ++successes; }, [](std::optional<APIRequest::Error>) { FAIL(); });
  ASSERT_TRUE(runMainLoopUntil([&] { return successes == 1; }, 20s));
  EXPECT_TRUE(console.lines().empty());
  EXPECT_EQ(request->headers().at("access-token"), "token-1");
  const auto recorded = backend().requests("/echo/me");
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].header("access-token"), "token-1");
  EXPECT_EQ(recorded[0].header("host"), "api.brelum.io");
}

TEST(APIRequestContentTypeTest, RawValuesRoundTripExactly) {
  for (auto type : {APIRequest::ContentType::json, APIRequest::ContentType::text}) {
    EXPECT_EQ(brelum::fromRawValue<APIRequest::ContentType>(brelum::rawValue(type)), type);
  }
  EXPECT_FALSE(brelum::fromRawValue<APIRequest::ContentType>("Application/JSON"));
}

}  // namespace
