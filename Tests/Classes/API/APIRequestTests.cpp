#include "Classes/API/APIRequest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "Classes/API/APIManager.h"
#include "Classes/API/Responses/VerifyReponse.h"
#include "Classes/Utils/JSONMap.h"
#include "Platform/Dispatch/MainThread.h"
#include "Platform/Foundation/Console.h"
#include "Platform/Network/HTTPSession.h"
#include "Tests/Support/Backend.h"
#include "Tests/Support/LoopbackPorts.h"
#include "Tests/Support/MainLoopPump.h"

using namespace std::chrono_literals;
using brelum::APIManager;
using brelum::APIRequest;
using platform::HTTPMethod;

namespace {

const platform::URL kConsole = *platform::URL::make("https://console.brelum.io/");

// What one send delivered: "body " and the body given to onSuccess, or "error" for onError.
std::string send(const std::shared_ptr<APIRequest>& request, const platform::URL& base = kConsole) {
  return testsupport::awaitCompletion<std::string>([&](auto done) {
           request->sendRequest(
               base,
               [done](APIRequest::Body body) {
                 done("body " + std::string(body.begin(), body.end()));
               },
               [done](std::optional<APIRequest::Error>) { done("error"); });
         })
      .value_or("<none>");
}

// The model a mapped send delivered; nothing when it ended in onError, which has no error.
template <class T>
std::optional<T> fetch(const std::shared_ptr<APIRequest>& request) {
  return testsupport::awaitCompletion<std::optional<T>>([&](auto done) {
           request->requestJSONObject<T>(
               kConsole, "data", [done](T model) { done(std::move(model)); },
               [done](std::optional<APIRequest::Error> error) {
                 EXPECT_FALSE(error);
                 done(std::nullopt);
               });
         })
      .value_or(std::nullopt);
}

class APIRequestTest : public testsupport::BackendTest {};

// A GET sends plain text with the parameters in the query; the other methods a JSON body.
TEST_F(APIRequestTest, TheMethodChoosesTheContentType) {
  for (auto method : {HTTPMethod::get, HTTPMethod::post, HTTPMethod::put, HTTPMethod::delete_}) {
    backend().reset();
    const bool get = method == HTTPMethod::get;
    auto request = APIRequest::make(method, "echo/items");
    EXPECT_EQ(request->contentType(),
              get ? APIRequest::ContentType::text : APIRequest::ContentType::json);
    request->setParams({{"q", "a+b&c=d"}});
    send(request);
    const auto recorded = backend().requests("/echo/items");
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].method, platform::rawValue(method));
    EXPECT_EQ(recorded[0].header("content-type"), get ? "text/plain" : "application/json");
    if (get) {
      EXPECT_EQ(recorded[0].queryValue("q"), "a+b&c=d");
      EXPECT_TRUE(recorded[0].body.empty());
    } else {
      EXPECT_EQ(nlohmann::json::parse(recorded[0].body), (nlohmann::json{{"q", "a+b&c=d"}}));
    }
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

// Every exchange, whatever its status, hands its body to onSuccess; only a JSON object maps.
TEST_F(APIRequestTest, ABodyOfAnyStatusIsDeliveredAndOnlyAnObjectMaps) {
  const std::string document = R"({"error":{"code":401,"message":"denied"}})";
  for (const auto& [status, body, maps] :
       {std::tuple{500, document, true}, std::tuple{204, std::string(), false},
        std::tuple{200, std::string("{not json"), false}}) {
    backend().failWith("/v1/app/verify", status, body);
    auto request = APIRequest::make(HTTPMethod::post, "v1/app/verify");
    EXPECT_EQ(send(request), "body " + body);
    const auto model = fetch<brelum::VerifyReponse>(request);
    EXPECT_EQ(model ? model->error.value().code : 0, maps ? 401 : 0) << body;
  }
  // A transport failure arrives as an empty body.
  const auto refused = *platform::URL::make(testsupport::refusedURL());
  EXPECT_EQ(send(APIRequest::make(HTTPMethod::get, "anything"), refused), "body ");
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
  auto mapped = fetch<MappingThread>(APIRequest::make(HTTPMethod::get, "echo/mapped"));
  ASSERT_TRUE(mapped);
  EXPECT_FALSE(mapped->onMainThread);
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
  EXPECT_EQ(testsupport::awaitCompletion<bool>([&](auto done) {
              manager.sendRequest(
                  request, [done] { done(true); }, [done](auto) { done(false); });
            }),
            true);
  EXPECT_TRUE(console.lines().empty());
  EXPECT_EQ(request->headers().at("access-token"), "token-1");
  const auto recorded = backend().requests("/echo/me");
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].header("access-token"), "token-1");
  EXPECT_EQ(recorded[0].header("host"), "api.brelum.io");
}

}  // namespace
