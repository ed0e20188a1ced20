#include "Platform/Network/HTTPSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <tuple>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Dispatch/MainThread.h"
#include "Platform/Network/ConnectToTable.h"
#include "Platform/Network/ExtraTrustedCA.h"
#include "Tests/Support/Backend.h"
#include "Tests/Support/LoopbackPorts.h"
#include "Tests/Support/MainLoopPump.h"

using namespace std::chrono_literals;
using namespace platform;
using namespace testsupport;
using Kind = HTTPSessionError::Kind;

// Error kinds by name in test failures; found by argument-dependent lookup.
namespace platform {
static void PrintTo(Kind kind, std::ostream* out) {
  *out << kindName(kind);
}
}  // namespace platform

namespace {

struct Delivery {
  std::optional<DataResponse> reply;
  int calls = 0;
  bool onMainQueue = false;
};

// A completion that records into `delivery` every call it gets.
DataRequest::Completion into(std::shared_ptr<Delivery> delivery) {
  return [delivery](DataResponse reply) {
    ++delivery->calls;
    delivery->onMainQueue = isMainThread() && DispatchQueue::main()->isCurrent();
    delivery->reply = std::move(reply);
  };
}

// Sends `request` with its completion on the main queue and pumps the main loop until it
// has run, then once more, so that a second call would be counted too.
std::shared_ptr<Delivery> deliver(DataRequest request,
                                  std::chrono::steady_clock::duration limit = 20s) {
  auto delivery = std::make_shared<Delivery>();
  std::move(request).response(into(delivery));
  EXPECT_TRUE(runMainLoopUntil([&] { return delivery->calls > 0; }, limit));
  drainMainQueue();
  EXPECT_EQ(delivery->calls, 1);
  return delivery;
}

void expectFailureWithoutResponse(const Delivery& delivery, Kind kind) {
  ASSERT_TRUE(delivery.reply);
  EXPECT_TRUE(delivery.onMainQueue);
  EXPECT_FALSE(delivery.reply->response);
  EXPECT_TRUE(delivery.reply->data.empty());
  ASSERT_TRUE(delivery.reply->error);
  EXPECT_EQ(delivery.reply->error->kind, kind)
      << kindName(delivery.reply->error->kind) << ": " << delivery.reply->error->description;
  EXPECT_FALSE(delivery.reply->error->description.empty());
}

URLRequest get(std::string url, HTTPHeaders headers = {}) {
  return URLRequest{std::move(url), HTTPMethod::get, std::move(headers), std::nullopt,
                    std::nullopt};
}

class HTTPSessionTest : public ::testing::Test {
 protected:
  std::shared_ptr<HTTPSession> session_ = HTTPSession::make();
};

// Refused before sending, failed on the way or cancelled: each on the main queue, once,
// without a response.
TEST_F(HTTPSessionTest, FailuresCompleteOnTheMainQueueWithoutAResponse) {
  SilentListener server;
  // For requests that set none. Long enough for a refused connection to be refused on a busy
  // machine; the silent server below has to outlast it.
  session_->setTimeout(3s);
  struct Case {
    const char* fault;
    DataRequest request;
    Kind kind;
  };
  std::vector<Case> cases;
  cases.emplace_back("an empty URL is sent", session_->request(get("")), Kind::invalidURL);
  cases.emplace_back("a scheme other than HTTP(S) is sent",
                     session_->request(get("ftp://127.0.0.1/file")), Kind::invalidURL);
  cases.emplace_back("a URL without a host is sent", session_->request(get("http:///path")),
                     Kind::invalidURL);
  cases.emplace_back("a header name with a space goes out",
                     session_->request(get(refusedURL(), {{"Bad Name", "v"}})),
                     Kind::invalidHeader);
  cases.emplace_back("a header value smuggles in another header",
                     session_->request(get(refusedURL(), {{"X-A", "v\r\nX-B: 1"}})),
                     Kind::invalidHeader);
  cases.emplace_back("JSON parameters that are not an object are sent",
                     session_->request(refusedURL(), HTTPMethod::post, nlohmann::json::array({1}),
                                       ParameterEncoding::json),
                     Kind::parameterEncodingFailed);
  cases.emplace_back("a refused connection is reported as something else",
                     session_->request(refusedURL()).validate(), Kind::cannotConnect);
  cases.emplace_back("the default session fails a refused connection otherwise",
                     HTTPSession::defaultSession()->request(refusedURL()), Kind::cannotConnect);
  cases.emplace_back("a request's own timeout is ignored",
                     session_->request(server.url()).timeout(1s), Kind::timedOut);
  cases.emplace_back("the session's timeout is ignored", session_->request(server.url()),
                     Kind::timedOut);
  for (auto& [fault, request, kind] : cases) {
    SCOPED_TRACE(fault);
    expectFailureWithoutResponse(*deliver(std::move(request)), kind);
  }
  session_->shutdown(HTTPSession::Clock::now() + 1s);
  expectFailureWithoutResponse(*deliver(session_->request(refusedURL())), Kind::cancelled);
  // Shutting one session down leaves the others serving.
  expectFailureWithoutResponse(*deliver(HTTPSession::defaultSession()->request(refusedURL())),
                               Kind::cannotConnect);
}

TEST_F(HTTPSessionTest, CompletionThatUsesAndThenDropsTheSessionDoesNotDeadlock) {
  auto second = std::make_shared<Delivery>();
  bool firstRan = false;
  auto session = std::exchange(session_, nullptr);
  const auto url = refusedURL();
  session->request(url).response([&firstRan, second, session, url](DataResponse) mutable {
    firstRan = true;
    session->request(url).response(into(second));
    session.reset();  // the last reference: the session shuts down from its own completion
  });
  session.reset();
  ASSERT_TRUE(runMainLoopUntil([&] { return firstRan && second->calls > 0; }));
  drainMainQueue();
  EXPECT_EQ(second->calls, 1);
  ASSERT_TRUE(second->reply);
  ASSERT_TRUE(second->reply->error) << "succeeded against a refusing port";
  // Sent, then either refused or cancelled by the shutdown that followed at once.
  EXPECT_TRUE(second->reply->error->kind == Kind::cannotConnect ||
              second->reply->error->kind == Kind::cancelled)
      << kindName(second->reply->error->kind);
}

TEST_F(HTTPSessionTest, ShutdownPastItsDeadlineStillDeliversEachCompletionOnce) {
  // The deadline has passed before the worker can finish, so this thread and the worker
  // race to deliver the same cancellations.
  SilentListener server;
  constexpr int kRequests = 20;
  auto calls = std::make_shared<std::array<std::atomic<int>, kRequests>>();
  for (int i = 0; i < kRequests; ++i) {
    session_->request(server.url()).response([calls, i](DataResponse reply) {
      EXPECT_EQ(reply.error ? std::optional(reply.error->kind) : std::nullopt,
                std::optional(Kind::cancelled))
          << i;
      ++(*calls)[i];
    });
  }
  session_->shutdown(HTTPSession::Clock::now() - 1s);
  drainMainQueue();
  for (int i = 0; i < kRequests; ++i) EXPECT_EQ((*calls)[i], 1) << i;
  session_.reset();
  drainMainQueue();
  for (int i = 0; i < kRequests; ++i) EXPECT_EQ((*calls)[i], 1) << i;
}

TEST(HTTPSessionExitTest, ProcessExitWithRequestsInFlightOnTheDefaultSessionIsClean) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SilentListener server;
        for (int i = 0; i < 5; ++i) {
          HTTPSession::defaultSession()->request(server.url()).response([](DataResponse) {});
        }
        auto serial = DispatchQueue::makeSerial("test.http.exit");
        HTTPSession::defaultSession()->request(server.url()).response(serial, [](DataResponse) {});
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

// --- Against the stand-in back end, over HTTPS on loopback through the connect-to table.

std::string text(const std::vector<std::uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

class HTTPSessionBackendTest : public BackendTest {
 protected:
  [[nodiscard]] std::string url(std::string_view path) const {
    return "https://" + backend().hosts().front() + std::string(path);
  }
  // Delivers a request that must succeed.
  std::shared_ptr<Delivery> expectSuccess(DataRequest request) {
    auto delivery = deliver(std::move(request));
    EXPECT_TRUE(delivery->reply) << "no completion";
    if (!delivery->reply) return delivery;
    EXPECT_FALSE(delivery->reply->error) << delivery->reply->error->description;
    EXPECT_TRUE(delivery->reply->response);
    return delivery;
  }

  std::shared_ptr<HTTPSession> session_ = HTTPSession::make();
};

using Pairs = std::vector<std::pair<std::string, std::string>>;

class HTTPSessionMethods
    : public HTTPSessionBackendTest,
      public ::testing::WithParamInterface<std::tuple<HTTPMethod, ParameterEncoding>> {};

TEST_P(HTTPSessionMethods, ReachTheServerAsSent) {
  const auto [method, encoding] = GetParam();
  const nlohmann::json parameters = {{"text", "+&=% \xC3\xBC"}, {"n", 5}, {"flag", true}};
  const Pairs formPairs = {{"flag", "1"}, {"n", "5"}, {"text", "+&=% \xC3\xBC"}};
  auto delivery = expectSuccess(
      session_
          ->request(url("/echo/method?keep=1"), method, parameters, encoding, {{"X-Test", "yes"}})
          .validate());
  ASSERT_TRUE(delivery->reply);
  ASSERT_TRUE(delivery->reply->response);
  const auto& reply = *delivery->reply;
  EXPECT_EQ(reply.response->statusCode, 200);

  const auto recorded = backend().requests("/echo/method");
  ASSERT_EQ(recorded.size(), 1u);
  const auto& seen = recorded.front();
  EXPECT_EQ(seen.method, rawValue(method));
  EXPECT_EQ(seen.header("x-test"), "yes");
  EXPECT_EQ(seen.header("host"), backend().hosts().front());
  EXPECT_EQ(seen.sni, backend().hosts().front());

  const bool queryMethod =
      method == HTTPMethod::get || method == HTTPMethod::head || method == HTTPMethod::delete_;
  if (encoding == ParameterEncoding::url && queryMethod) {
    Pairs expected = {{"keep", "1"}};
    expected.insert(expected.end(), formPairs.begin(), formPairs.end());
    EXPECT_EQ(seen.query, expected);
    EXPECT_EQ(seen.body, "");
    EXPECT_FALSE(seen.header("content-type"));
  } else if (encoding == ParameterEncoding::url) {
    EXPECT_EQ(seen.query, (Pairs{{"keep", "1"}}));
    EXPECT_EQ(seen.header("content-type"), "application/x-www-form-urlencoded; charset=utf-8");
    // The server's own form decoding restores every value byte for byte.
    Pairs form;
    const auto echo = nlohmann::json::parse(text(reply.data));
    for (const auto& pair : echo.at("form")) form.emplace_back(pair.at(0), pair.at(1));
    EXPECT_EQ(form, formPairs);
  } else if (method == HTTPMethod::head) {
    EXPECT_EQ(seen.body, "");  // HEAD carries no body
  } else {
    EXPECT_EQ(nlohmann::json::parse(seen.body), parameters);
    EXPECT_EQ(seen.header("content-type"), "application/json");
  }
  if (method == HTTPMethod::head) {
    EXPECT_TRUE(reply.data.empty());
  } else {
    EXPECT_EQ(nlohmann::json::parse(text(reply.data)).at("method"), rawValue(method));
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllNine, HTTPSessionMethods,
    ::testing::Combine(::testing::Values(HTTPMethod::get, HTTPMethod::head, HTTPMethod::post,
                                         HTTPMethod::put, HTTPMethod::patch, HTTPMethod::delete_,
                                         HTTPMethod::options, HTTPMethod::trace,
                                         HTTPMethod::connect),
                       ::testing::Values(ParameterEncoding::url, ParameterEncoding::json)),
    [](const auto& info) {
      return std::string(rawValue(std::get<0>(info.param))) +
             (std::get<1>(info.param) == ParameterEncoding::url ? "_URL" : "_JSON");
    });

// Outside the range is an error that still carries the status, headers and body; without
// validation (an empty range here) every status is a success.
TEST_F(HTTPSessionBackendTest, StatusCodesAreCheckedAgainstTheHalfOpenRange) {
  for (const auto& [status, lower, upper, accepted] :
       {std::tuple{299, 200, 300, true}, std::tuple{300, 200, 300, false},
        std::tuple{200, 199, 200, false}, std::tuple{200, 201, 300, false},
        std::tuple{500, 500, 501, true}, std::tuple{503, 0, 0, true}}) {
    const auto code = std::to_string(status);
    auto request = session_->request(url("/echo/status/" + code));
    if (lower != upper) request.validate(lower, upper);
    auto delivery = deliver(std::move(request));
    ASSERT_TRUE(delivery->reply) << code;
    ASSERT_TRUE(delivery->reply->response) << code;
    const auto& reply = *delivery->reply;
    EXPECT_EQ(reply.response->statusCode, status);
    EXPECT_EQ(headerValue(reply.response->headers, "X-Status"), code);
    EXPECT_EQ(text(reply.data), "status " + code);
    EXPECT_EQ(reply.error ? std::optional(reply.error->kind) : std::nullopt,
              accepted ? std::nullopt : std::optional(Kind::unacceptableStatusCode))
        << code << " in [" << lower << ", " << upper << ")";
  }
}

TEST_F(HTTPSessionBackendTest, ConcurrentBurstsKeepTheirConnectionsPooled) {
  // With libcurl's default pool size (four per transfer still running) a burst that drains
  // one by one closes kept-alive connections, and the next burst pays new handshakes. The
  // back end answers the requests of a burst one after the other to drain it that way. A
  // burst as large as the default cap of six per host runs on six connections at once.
  constexpr int kBurst = 6;
  for (int i = 0; i < kBurst; ++i) {
    backend().delay("/echo/burst/" + std::to_string(i), std::chrono::milliseconds(250 * (i + 1)));
  }
  std::vector<std::set<int>> connections(2);
  for (auto& seen : connections) {
    int left = kBurst;
    for (int i = 0; i < kBurst; ++i) {
      session_->request(url("/echo/burst/" + std::to_string(i))).response([&](DataResponse reply) {
        if (!reply.error) {
          seen.insert(nlohmann::json::parse(text(reply.data)).at("connection").get<int>());
        }
        --left;
      });
    }
    ASSERT_TRUE(runMainLoopUntil([&] { return left == 0; }));
  }
  EXPECT_EQ(connections[0].size(), static_cast<std::size_t>(kBurst));
  EXPECT_EQ(connections[1], connections[0]);
}

// Sent from many threads, odd ones completing on a serial queue of their own.
TEST_F(HTTPSessionBackendTest, RequestsFromManyThreadsEachCompleteOnceOnTheirQueue) {
  constexpr int kThreads = 4;
  constexpr int kEach = 10;
  auto serial = DispatchQueue::makeSerial("test.http.completions");
  std::atomic<int> calls = 0;
  {
    std::vector<std::jthread> senders;
    for (int t = 0; t < kThreads; ++t) {
      senders.emplace_back([&, t] {
        const auto queue = t % 2 ? serial : DispatchQueue::main();
        for (int i = 0; i < kEach; ++i) {
          session_->request(url("/echo/threads"), HTTPMethod::post, {{"t", t}, {"i", i}})
              .validate()
              .response(queue, [&, queue](DataResponse reply) {
                ++calls;
                EXPECT_FALSE(reply.error) << reply.error->description;
                EXPECT_TRUE(reply.response);
                EXPECT_TRUE(queue->isCurrent());
              });
        }
      });
    }
  }
  ASSERT_TRUE(runMainLoopUntil([&] { return calls == kThreads * kEach; }, 60s));
  serial->sync([] {});
  drainMainQueue();
  EXPECT_EQ(calls, kThreads * kEach);
  EXPECT_EQ(backend().requests("/echo/threads").size(), std::size_t{kThreads * kEach});
}

TEST_F(HTTPSessionBackendTest, CallerHeadersReplaceDefaultsAndResponseHeadersArriveAsText) {
  const URLRequest given{url("/echo/headers"),
                         HTTPMethod::post,
                         {{"User-Agent", "Custom/1"},
                          {"Accept", "application/json"},
                          {"X-Empty", ""},
                          {"X-Order", "a"},
                          {"X-Order", "b"}},
                         std::vector<std::uint8_t>(100'000, 'b'),
                         std::nullopt};
  expectSuccess(session_->request(given));
  auto withDefaults = expectSuccess(session_->request(url("/echo/headers")));
  const auto recorded = backend().requests("/echo/headers");
  ASSERT_EQ(recorded.size(), 2u);
  for (const auto& [field, value] : {std::pair{"user-agent", "Custom/1"},
                                     {"accept", "application/json"},
                                     {"x-empty", ""},
                                     {"x-order", "a, b"}}) {
    EXPECT_EQ(recorded[0].header(field), value) << field;
  }
  EXPECT_FALSE(recorded[0].header("expect"));
  EXPECT_EQ(recorded[0].body.size(), 100'000u);
  EXPECT_TRUE(recorded[1].header("user-agent").value_or("").starts_with("BrelumPlatform/"));

  ASSERT_TRUE(withDefaults->reply);
  ASSERT_TRUE(withDefaults->reply->response);
  const auto& response = *withDefaults->reply->response;
  EXPECT_EQ(headerValue(response.headers, "Content-Type"), "application/json");
  EXPECT_TRUE(headerValue(response.headers, "x-stand-in-connection"));
  EXPECT_EQ(response.url, url("/echo/headers"));
}

// The default size limit lets a body of megabytes through; a limit that is set counts what
// a compressed body becomes, as it protects memory. A request head of half a megabyte (a
// queue message travels in the query) outgrows libcurl's default upload buffer.
TEST_F(HTTPSessionBackendTest, BodiesAndRequestHeadsGoThroughWholeUpToTheLimit) {
  auto delivery = expectSuccess(session_->request(url("/echo/bytes/3000000")));
  EXPECT_EQ(delivery->reply->data, std::vector<std::uint8_t>(3'000'000, 'x'));
  HTTPSession::Configuration configuration;
  configuration.maximumResponseBodySize = 100'000;
  auto limited = HTTPSession::make(configuration);
  auto small = expectSuccess(limited->request(url("/echo/gzip/100000")));
  ASSERT_TRUE(small->reply);
  ASSERT_TRUE(small->reply->response);
  EXPECT_EQ(text(small->reply->data), std::string(100'000, 'x'));
  EXPECT_EQ(headerValue(small->reply->response->headers, "content-encoding"), "gzip");
  auto large = deliver(limited->request(url("/echo/gzip/100001")));
  ASSERT_TRUE(large->reply);
  ASSERT_TRUE(large->reply->error) << "a body over the limit was delivered";
  EXPECT_EQ(large->reply->error->kind, Kind::responseTooLarge);

  const std::string value(512 * 1024, 'q');
  expectSuccess(session_->request(url("/echo/long?v=" + value)).validate());
  const auto recorded = backend().requests("/echo/long");
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].rawQuery.size(), value.size() + 2);
}

// The proxy is asked for the connect-to table's address, not the server's name, so a proxy
// never takes traffic off the machine; TLS still checks the server's name end to end.
TEST_F(HTTPSessionBackendTest, ProxyVariablesTunnelToTheConnectToAddressUnlessNoProxySaysSo) {
  const auto& host = backend().hosts().front();
  ::setenv("https_proxy", ("http://127.0.0.1:" + std::to_string(backend().httpPort())).c_str(), 1);
  expectSuccess(session_->request(url("/echo/proxied")));
  auto requests = backend().requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "CONNECT");
  EXPECT_EQ(requests[0].path, "127.0.0.1:" + std::to_string(backend().httpsPort()));
  EXPECT_EQ(requests[1].path, "/echo/proxied");
  EXPECT_EQ(requests[1].sni, host);

  backend().reset();
  ::setenv("no_proxy", host.c_str(), 1);
  const auto direct = HTTPSession::make();
  expectSuccess(direct->request(url("/echo/direct")));
  ::unsetenv("https_proxy");
  ::unsetenv("no_proxy");
  requests = backend().requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].path, "/echo/direct");
}

// After the extra CA is withdrawn, nothing verified under it may carry a request: not a new
// connection, not a TLS session resumed from an earlier handshake (which skips the
// certificate check), not a kept-alive connection from before.
struct WithdrawnCase {
  const char* name;
  HTTPHeaders firstHeaders;
  std::size_t secondHost;
};

class WithdrawnExtraCA : public HTTPSessionBackendTest,
                         public ::testing::WithParamInterface<WithdrawnCase> {};

TEST_P(WithdrawnExtraCA, IsTrustedNoMore) {
  const auto& [name, firstHeaders, secondHost] = GetParam();
  ASSERT_GT(backend().hosts().size(), secondHost);
  expectSuccess(session_->request(get(url("/echo/trusted"), firstHeaders)));
  clearExtraTrustedCAFile();
  const auto untrusted = "https://" + backend().hosts()[secondHost] + "/echo/untrusted";
  expectFailureWithoutResponse(*deliver(session_->request(untrusted)),
                               Kind::secureConnectionFailed);
  EXPECT_TRUE(backend().requests("/echo/untrusted").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Connections, WithdrawnExtraCA,
    ::testing::Values(WithdrawnCase{"NewConnectionToAnotherHost", {}, 1},
                      // The connection ends cleanly, so the TLS session stays resumable.
                      WithdrawnCase{"ResumedSession", {{"Connection", "close"}}, 0},
                      WithdrawnCase{"KeptAliveConnection", {}, 0}),
    [](const auto& info) { return info.param.name; });

TEST_F(HTTPSessionBackendTest, RouteChangesReachTheRequestsSentAfterThemAndTLSStillChecksNames) {
  auto& table = ConnectToTable::shared();
  const auto& host = backend().hosts().front();
  expectSuccess(session_->request(url("/echo/route")));
  // A port nobody listens on: http://127.0.0.1:<port>/
  const auto refused = refusedURL();
  ASSERT_TRUE(table.add(host, 443, "127.0.0.1", std::stoi(refused.substr(refused.rfind(':') + 1))));
  expectFailureWithoutResponse(*deliver(session_->request(url("/echo/route"))),
                               Kind::cannotConnect);
  ASSERT_TRUE(table.add(host, 443, "127.0.0.1", backend().httpsPort()));
  expectSuccess(session_->request(url("/echo/route")));
  // The back end's certificate names its hosts and localhost, not this one.
  ASSERT_TRUE(table.add("elsewhere.test", 443, "127.0.0.1", backend().httpsPort()));
  expectFailureWithoutResponse(*deliver(session_->request("https://elsewhere.test/echo/route")),
                               Kind::secureConnectionFailed);
  EXPECT_EQ(backend().requests("/echo/route").size(), 2u);
}

URLRequest requestOf(HTTPMethod method, std::optional<std::string> body = std::nullopt,
                     HTTPHeaders headers = {}) {
  std::optional<std::vector<std::uint8_t>> bytes;
  if (body) bytes.emplace(body->begin(), body->end());
  return URLRequest{{}, method, std::move(headers), std::move(bytes), std::nullopt};
}

// One after the other, requests reuse the libcurl handle of the one before: nothing of a
// request (method, body, header fields, an aborted exchange) may reach the next.
TEST_F(HTTPSessionBackendTest, EachRequestOnAReusedHandleArrivesAsSent) {
  using enum HTTPMethod;
  // Each step names what of the step before it would leak into it.
  struct Step {
    const char* fault;
    URLRequest request;
  };
  const std::vector<Step> sequence = {
      {"a HEAD on a fresh handle goes out wrong", requestOf(head)},
      {"HEAD's missing body kept for a GET", requestOf(get)},
      {"GET kept for a POST with a body", requestOf(post, "abc")},
      {"POST's method or body kept for a GET", requestOf(get)},
      {"GET kept for a POST again", requestOf(post, "abc")},
      {"POST's body kept for a HEAD", requestOf(head)},
      {"HEAD's missing body kept for a DELETE", requestOf(delete_)},
      {"DELETE kept for a POST without a body", requestOf(post)},
      {"POST kept for a GET", requestOf(get)},
      {"GET kept for a PATCH with a body and a header",
       requestOf(patch, "xyz", {{"X-Second", "2"}})},
      {"PATCH's header or body kept for a GET whose reply is dropped", requestOf(get)},
      {"the aborted exchange kept for the next GET", requestOf(get)}};
  const std::size_t dropped = sequence.size() - 2;
  for (std::size_t i = 0; i < sequence.size(); ++i) {
    SCOPED_TRACE(sequence[i].fault);
    auto request = sequence[i].request;
    const auto path = "/echo/reuse/" + std::to_string(i);
    request.url = url(path);
    request.headers.emplace_back("X-Index", std::to_string(i));
    if (i == dropped) backend().drop(path);
    auto delivery = deliver(session_->request(request));
    ASSERT_TRUE(delivery->reply);
    const auto& reply = *delivery->reply;
    if (i == dropped) {
      // Dropped mid-response: the error keeps the response and what arrived of the body.
      ASSERT_TRUE(reply.error) << "a reply dropped mid-body succeeded";
      ASSERT_TRUE(reply.response) << "the error lost the response";
      EXPECT_EQ(reply.error->kind, Kind::connectionLost) << reply.error->description;
      EXPECT_EQ(reply.response->statusCode, 200);
      EXPECT_FALSE(reply.data.empty());
    } else {
      ASSERT_FALSE(reply.error) << reply.error->description;
      EXPECT_EQ(reply.data.empty(), request.method == head);
    }
    const auto recorded = backend().requests(path);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].method, rawValue(request.method));
    EXPECT_EQ(recorded[0].body, request.body ? text(*request.body) : "");
    EXPECT_EQ(recorded[0].header("x-index"), std::to_string(i));
    EXPECT_EQ(recorded[0].header("x-second"), headerValue(request.headers, "X-Second"));
  }
}

TEST_F(HTTPSessionBackendTest, RedirectsAreFollowedAndOnlyTheFinalResponseIsDelivered) {
  // Sent at most once: following a redirect is a new request after a response, not a resend.
  for (const char* code : {"301", "302", "303", "307", "308"}) {
    SCOPED_TRACE(code);
    auto delivery = expectSuccess(
        session_->request(url(std::string("/echo/redirect/") + code)).validate().atMostOnce());
    ASSERT_TRUE(delivery->reply);
    ASSERT_TRUE(delivery->reply->response);
    const auto& reply = *delivery->reply;
    EXPECT_EQ(reply.response->statusCode, 200);
    EXPECT_EQ(reply.response->url, url("/echo/landed"));
    EXPECT_FALSE(headerValue(reply.response->headers, "x-redirect"));
    EXPECT_EQ(nlohmann::json::parse(text(reply.data)).at("path"), "/echo/landed");
  }
}

// Shut down from a completion while some requests are at the server and the rest wait
// their turn in the session: each is cancelled once, on its own queue.
TEST_F(HTTPSessionBackendTest, ShutdownFromACompletionCancelsRunningAndWaitingRequestsOnce) {
  backend().delay("/echo/held", 60s);
  constexpr int kRequests = 20;
  auto calls = std::make_shared<std::array<std::atomic<int>, kRequests>>();
  auto serial = DispatchQueue::makeSerial("test.http.shutdown");
  for (int i = 0; i < kRequests; ++i) {
    auto queue = i % 2 ? serial : DispatchQueue::main();
    session_->request(url("/echo/held")).response(queue, [=](DataResponse reply) {
      ++(*calls)[i];
      EXPECT_EQ(reply.error ? std::optional(reply.error->kind) : std::nullopt,
                std::optional(Kind::cancelled))
          << i;
      EXPECT_FALSE(reply.response) << i;
      EXPECT_TRUE(reply.data.empty()) << i;
      EXPECT_TRUE(queue->isCurrent()) << i;
    });
  }
  // Every look at the record is an exchange with the back end, which is busy with
  // handshakes: look now and then rather than between every two main-queue items.
  const auto atTheServer = HTTPSession::Configuration{}.maximumConnectionsPerHost;
  auto nextLook = std::chrono::steady_clock::now();
  ASSERT_TRUE(runMainLoopUntil(
      [&] {
        if (std::chrono::steady_clock::now() < nextLook) return false;
        nextLook = std::chrono::steady_clock::now() + 100ms;
        return backend().requests("/echo/held").size() == atTheServer;
      },
      50s));
  bool shutDown = false;
  session_->request(refusedURL()).response([&shutDown, session = session_](DataResponse) {
    session->shutdown(HTTPSession::Clock::now() + 5s);
    shutDown = true;
  });
  ASSERT_TRUE(runMainLoopUntil([&] { return shutDown; }));
  // Every completion is posted by the time shutdown returns: draining the queues is enough.
  serial->sync([] {});
  drainMainQueue();
  for (int i = 0; i < kRequests; ++i) EXPECT_EQ((*calls)[i], 1) << "by the first shutdown: " << i;
  session_->shutdown(HTTPSession::Clock::now() + 1s);  // a second shutdown changes nothing
  serial->sync([] {});
  drainMainQueue();
  for (int i = 0; i < kRequests; ++i) EXPECT_EQ((*calls)[i], 1) << i;
}

// A cancel ends one exchange where it is: at the server, whose connection then closes, or
// waiting for a connection, which it never gets. Each completes once, cancelled; the session
// goes on with the others.
TEST_F(HTTPSessionBackendTest, CancelEndsOneExchangeAtOnceAndCompletesItOnceAsCancelled) {
  HTTPSession::Configuration configuration;
  configuration.maximumConnectionsPerHost = 1;
  auto session = HTTPSession::make(std::move(configuration));
  backend().delay("/echo/held", 60s);
  auto held = std::make_shared<Delivery>();
  auto waiting = std::make_shared<Delivery>();
  const auto atTheServer = session->request(url("/echo/held")).response(into(held));
  const auto inLine = session->request(url("/echo/next")).response(into(waiting));
  ASSERT_TRUE(runMainLoopUntil([&] { return !backend().requests("/echo/held").empty(); }));

  inLine.cancel();
  ASSERT_TRUE(runMainLoopUntil([&] { return waiting->calls > 0; }));
  EXPECT_EQ(held->calls, 0);
  atTheServer.cancel();
  ASSERT_TRUE(runMainLoopUntil([&] { return held->calls > 0; }));
  // The back end sees the connection close, long before its answer was due.
  EXPECT_TRUE(runMainLoopUntil([&] { return backend().idle(); }));
  atTheServer.cancel();  // after the end: nothing more
  drainMainQueue();
  for (const auto& delivery : {held, waiting}) {
    EXPECT_EQ(delivery->calls, 1);
    expectFailureWithoutResponse(*delivery, Kind::cancelled);
  }
  EXPECT_TRUE(backend().requests("/echo/next").empty());
  expectSuccess(session->request(url("/echo/after")));
}

// With a cap of two connections per host the rest wait, in order. Waiting requests last
// while the host answers and time out when it stops.
TEST_F(HTTPSessionBackendTest, AtMostTheCapRunsPerHostAndTheRestWaitInOrder) {
  HTTPSession::Configuration configuration;
  configuration.maximumConnectionsPerHost = 2;
  auto capped = HTTPSession::make(std::move(configuration));
  // Sends `count` requests to `path`<i>, each with `timeout`; the replies in the order they came.
  auto sendAll = [&](const std::string& path, int count, std::chrono::milliseconds timeout) {
    std::vector<DataResponse> replies;
    for (int i = 0; i < count; ++i) {
      capped->request(url(path + std::to_string(i))).timeout(timeout).response([&](auto reply) {
        replies.push_back(std::move(reply));
      });
    }
    EXPECT_TRUE(runMainLoopUntil([&] { return replies.size() == std::size_t(count); }, 30s));
    return replies;
  };
  // Four rounds of 1.5 s each, longer than the time-out of the last ones waiting, and yet
  // nothing stood still for that long. Each round leaves 2.5 s for its handshake and the
  // back end's turn, which a busy machine needs.
  constexpr int kRequests = 8;
  backend().setFault(Backend::Fault("/echo/cap/*").delay(1500ms));
  std::set<int> connections;
  for (const auto& reply : sendAll("/echo/cap/", kRequests, 4s)) {
    ASSERT_FALSE(reply.error) << reply.error->description;
    connections.insert(nlohmann::json::parse(text(reply.data)).at("connection").get<int>());
  }
  EXPECT_EQ(connections.size(), 2u);
  // Two at a time: each arrives at most one place away from where it was sent.
  const auto recorded = backend().requests();
  ASSERT_EQ(recorded.size(), std::size_t{kRequests});
  for (int at = 0; at < kRequests; ++at) {
    const int sent = std::stoi(recorded[at].path.substr(std::string("/echo/cap/").size()));
    EXPECT_LE(std::abs(sent - at), 1) << recorded[at].path << " arrived " << at;
  }
  // A host that never answers: those waiting fail too, most without ever going out (a
  // connection freed just before they are due may still take one each).
  backend().setFault(Backend::Fault("/echo/stuck/*").delay(10s));
  for (const auto& reply : sendAll("/echo/stuck/", 8, 2s)) {
    ASSERT_TRUE(reply.error);
    EXPECT_EQ(reply.error->kind, Kind::timedOut);
    EXPECT_FALSE(reply.response);
  }
  EXPECT_LE(std::ranges::count_if(backend().requests(),
                                  [](const auto& r) { return r.path.starts_with("/echo/stuck/"); }),
            4);
}

// libcurl sends a request again on a new connection when a kept-alive one dies after the
// request went out; a request sent at most once fails instead.
TEST_F(HTTPSessionBackendTest, AReplyDroppedOnAKeptAliveConnectionIsResentOnlyIfAllowed) {
  for (const bool atMostOnce : {false, true}) {
    const auto path = std::string("/echo/event/") + (atMostOnce ? "once" : "again");
    expectSuccess(session_->request(url("/echo/warm")));
    backend().drop(path, Backend::Drop::beforeResponse);
    auto request = session_->request(url(path));
    if (atMostOnce) request.atMostOnce();
    expectFailureWithoutResponse(*deliver(std::move(request)), Kind::connectionLost);
    EXPECT_EQ(backend().requests(path).size(), atMostOnce ? 1u : 2u) << path;
  }
}

}  // namespace
