#include "Classes/API/APIRequest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Classes/API/APIManager.h"
#include "Classes/API/Responses/ErrorResponse.h"
#include "Classes/API/Responses/VerifyReponse.h"
#include "Classes/Utils/JSONMap.h"
#include "Platform/Foundation/Console.h"
#include "Platform/Network/HTTPSession.h"
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

// What one send delivered: the body given to onSuccess, or onError's error.
struct Delivery {
  std::optional<APIRequest::Body> body;
  std::optional<std::optional<APIRequest::Error>> error;
};

using Outcome = std::variant<APIRequest::Body, std::optional<APIRequest::Error>>;

Delivery send(const std::shared_ptr<APIRequest>& request, const platform::URL& base = kConsole) {
  auto outcome = testsupport::awaitCompletion<Outcome>([&](auto done) {
    request->sendRequest(
        base, [done](APIRequest::Body body) { done(std::move(body)); },
        [done](std::optional<APIRequest::Error> error) { done(std::move(error)); });
  });
  Delivery delivery;
  if (outcome && outcome->index() == 0) delivery.body = std::get<0>(std::move(*outcome));
  if (outcome && outcome->index() == 1) delivery.error = std::get<1>(std::move(*outcome));
  return delivery;
}

template <class T>
struct Mapped {
  std::optional<T> model;
  std::optional<std::optional<APIRequest::Error>> error;
};

template <class T>
Mapped<T> fetch(const std::shared_ptr<APIRequest>& request, std::optional<std::string> keyPath) {
  using Result = std::variant<T, std::optional<APIRequest::Error>>;
  auto outcome = testsupport::awaitCompletion<Result>([&](auto done) {
    request->requestJSONObject<T>(
        kConsole, std::move(keyPath), [done](T model) { done(std::move(model)); },
        [done](std::optional<APIRequest::Error> error) { done(std::move(error)); });
  });
  Mapped<T> mapped;
  if (outcome && outcome->index() == 0) mapped.model = std::get<0>(std::move(*outcome));
  if (outcome && outcome->index() == 1) mapped.error = std::get<1>(std::move(*outcome));
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
  testsupport::awaitCompletion<bool>([&](auto done) {
    request->sendRequest(
        kConsole, [done](APIRequest::Body) { done(true); },
        [done](std::optional<APIRequest::Error>) { done(false); });
    // Switching verbose off after the send leaves that send's lines; the endpoint printed on
    // arrival is the one the request holds then.
    request->setVerbose(false);
    request->setEndpoint("v1/changed");
  });
  EXPECT_EQ(console.lines(), (std::vector<std::string>{
                                 "Sending https://console.brelum.io/ v1/app/verify",
                                 "Received https://console.brelum.io/ v1/changed",
                                 R"({"data":{}})",
                             }));
}

// Records where it was mapped: large documents must not be mapped on the host's main queue.
struct MappingThread {
  bool onMainThread = true;
  void mapping(const brelum::JSONMap&) { onMainThread = platform::isMainThread(); }
};

TEST_F(APIRequestTest, ResponsesAreMappedOffTheMainQueueAndDeliveredOnIt) {
  auto mapped = fetch<MappingThread>(APIRequest::make(HTTPMethod::get, "echo/mapped"), {});
  ASSERT_TRUE(mapped.model);
  EXPECT_FALSE(mapped.model->onMainThread);
}

TEST_F(APIRequestTest, RequestsWaitSixtySecondsUnlessTheHostSaysOtherwise) {
  EXPECT_EQ(platform::HTTPSession::defaultSession()->timeout(), 60s);
  EXPECT_EQ(platform::HTTPSession::make()->timeout(), 60s);
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

}  // namespace
