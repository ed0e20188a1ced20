#include "Platform/Network/HTTPSession.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Network/ConnectToTable.h"
#include "Platform/Network/ExtraTrustedCA.h"
#include "Tests/Support/Backend.h"
#include "Tests/Support/LoopbackPorts.h"
#include "Tests/Support/MainLoopPump.h"

using namespace std::chrono_literals;
using platform::DataRequest;
using platform::DataResponse;
using platform::DispatchQueue;
using platform::HTTPHeaders;
using platform::HTTPMethod;
using platform::HTTPSession;
using platform::HTTPSessionError;
using platform::ParameterEncoding;
using platform::URLRequest;
using testsupport::drainMainQueue;
using testsupport::refusedURL;
using testsupport::runMainLoopUntil;
using testsupport::SilentListener;
using Kind = HTTPSessionError::Kind;

namespace {

struct Delivery {
  std::optional<DataResponse> reply;
  int calls = 0;
  bool onMainQueue = false;
};

// Sends `request` with its completion on the main queue and pumps the main loop until it
// has run, then once more, so that a second call would be counted too.
std::shared_ptr<Delivery> deliver(DataRequest request,
                                  std::chrono::steady_clock::duration limit = 20s) {
  auto delivery = std::make_shared<Delivery>();
  std::move(request).response([delivery](DataResponse reply) {
    ++delivery->calls;
    delivery->onMainQueue = platform::isMainThread() && DispatchQueue::main()->isCurrent();
    delivery->reply = std::move(reply);
  });
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
  EXPECT_EQ(delivery.reply->error->kind, kind) << platform::kindName(delivery.reply->error->kind)
                                               << ": " << delivery.reply->error->description;
  EXPECT_FALSE(delivery.reply->error->description.empty());
}

class HTTPSessionTest : public ::testing::Test {
 protected:
  std::shared_ptr<HTTPSession> session_ = HTTPSession::make();
};

struct BadRequestCase {
  const char* name;
  URLRequest request;
  Kind kind;
};

class HTTPSessionBadRequest : public HTTPSessionTest,
                              public ::testing::WithParamInterface<BadRequestCase> {};

TEST_P(HTTPSessionBadRequest, FailsOnTheMainQueueWithoutAResponse) {
  expectFailureWithoutResponse(*deliver(session_->request(GetParam().request)), GetParam().kind);
}

URLRequest get(std::string url, HTTPHeaders headers = {}) {
  return URLRequest{std::move(url), HTTPMethod::get, std::move(headers), std::nullopt,
                    std::nullopt};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HTTPSessionBadRequest,
    ::testing::Values(BadRequestCase{"Empty", get(""), Kind::invalidURL},
                      BadRequestCase{"FTP", get("ftp://127.0.0.1/file"), Kind::invalidURL},
                      BadRequestCase{"NoHost", get("http:///path"), Kind::invalidURL},
                      BadRequestCase{"HeaderNameWithSpace",
                                     get("http://127.0.0.1/", {{"Bad Name", "v"}}),
                                     Kind::invalidHeader},
                      BadRequestCase{"HeaderInjection",
                                     get("http://127.0.0.1/", {{"X-A", "v\r\nX-Injected: 1"}}),
                                     Kind::invalidHeader}),
    [](const auto& info) { return info.param.name; });

TEST_F(HTTPSessionTest, ParametersThatCannotBeEncodedFailOnTheMainQueue) {
  auto delivery =
      deliver(session_->request(refusedURL(), HTTPMethod::post, nlohmann::json::array({1}),
                                platform::ParameterEncoding::json));
  expectFailureWithoutResponse(*delivery, Kind::parameterEncodingFailed);
}

TEST_F(HTTPSessionTest, RefusedConnectionGivesAnEmptyBodyAndAnErrorWithoutResponse) {
  expectFailureWithoutResponse(*deliver(session_->request(refusedURL()).validate()),
                               Kind::cannotConnect);
}

TEST_F(HTTPSessionTest, SilentServerTimesOutWithoutResponse) {
  SilentListener server;
  expectFailureWithoutResponse(*deliver(session_->request(server.url()).timeout(200ms)),
                               Kind::timedOut);
  // The session's own setting applies to requests that set none.
  session_->setTimeout(150ms);
  expectFailureWithoutResponse(*deliver(session_->request(server.url())), Kind::timedOut);
}

TEST_F(HTTPSessionTest, DeliversOnTheSerialQueueItIsGiven) {
  auto queue = DispatchQueue::makeSerial("test.http.completions");
  std::atomic<int> calls = 0;
  std::atomic<bool> onQueue = false;
  session_->request(refusedURL()).response(queue, [&, queue](DataResponse reply) {
    onQueue = queue->isCurrent() && !platform::isMainThread() && reply.error.has_value();
    ++calls;
  });
  ASSERT_TRUE(runMainLoopUntil([&] { return calls > 0; }));
  queue->sync([] {});  // anything queued behind the completion has run
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(onQueue);
}

TEST_F(HTTPSessionTest, RequestsAfterShutdownCompleteCancelled) {
  session_->shutdown(HTTPSession::Clock::now() + 1s);
  expectFailureWithoutResponse(*deliver(session_->request(refusedURL())), Kind::cancelled);
}

TEST_F(HTTPSessionTest, CompletionThatUsesAndThenDropsTheSessionDoesNotDeadlock) {
  auto second = std::make_shared<Delivery>();
  bool firstRan = false;
  auto session = std::exchange(session_, nullptr);
  const auto url = refusedURL();
  session->request(url).response([&firstRan, second, session, url](DataResponse) mutable {
    firstRan = true;
    session->request(url).response([second](DataResponse reply) {
      ++second->calls;
      second->reply = std::move(reply);
    });
    session.reset();  // the last reference: the session shuts down from its own completion
  });
  session.reset();
  ASSERT_TRUE(runMainLoopUntil([&] { return firstRan && second->calls > 0; }));
  drainMainQueue();
  EXPECT_EQ(second->calls, 1);
  ASSERT_TRUE(second->reply && second->reply->error);
  // Sent, then either refused or cancelled by the shutdown that followed at once.
  EXPECT_TRUE(second->reply->error->kind == Kind::cannotConnect ||
              second->reply->error->kind == Kind::cancelled);
}

TEST_F(HTTPSessionTest, ShutdownFromACompletionCancelsTheRest) {
  SilentListener server;
  auto pending = std::make_shared<Delivery>();
  session_->request(server.url()).response([pending](DataResponse reply) {
    ++pending->calls;
    pending->reply = std::move(reply);
  });
  bool shutDown = false;
  session_->request(refusedURL()).response([&shutDown, session = session_](DataResponse) {
    session->shutdown(HTTPSession::Clock::now() + 2s);
    shutDown = true;
  });
  ASSERT_TRUE(runMainLoopUntil([&] { return shutDown && pending->calls > 0; }));
  drainMainQueue();
  EXPECT_EQ(pending->calls, 1);
  ASSERT_TRUE(pending->reply && pending->reply->error);
  EXPECT_EQ(pending->reply->error->kind, Kind::cancelled);
}

TEST_F(HTTPSessionTest, ShutdownPastItsDeadlineStillDeliversEachCompletionOnce) {
  // The deadline has passed before the worker can finish, so this thread and the worker
  // race to deliver the same cancellations.
  SilentListener server;
  constexpr int kRequests = 20;
  auto calls = std::make_shared<std::array<std::atomic<int>, kRequests>>();
  for (int i = 0; i < kRequests; ++i) {
    session_->request(server.url()).response([calls, i](DataResponse reply) {
      EXPECT_TRUE(reply.error && reply.error->kind == Kind::cancelled);
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

TEST(HTTPSessionDefaultTest, IsOneSessionThatServesRequests) {
  ASSERT_EQ(HTTPSession::defaultSession(), HTTPSession::defaultSession());
  expectFailureWithoutResponse(*deliver(HTTPSession::defaultSession()->request(refusedURL())),
                               Kind::cannotConnect);
}

// --- Against the stand-in back end, over HTTPS on loopback through the connect-to table.

std::string text(const std::vector<std::uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

class HTTPSessionBackendTest : public testsupport::BackendTest {
 protected:
  [[nodiscard]] std::string url(std::string_view path) const {
    return "https://" + backend().hosts().front() + std::string(path);
  }

  std::shared_ptr<HTTPSession> session_ = HTTPSession::make();
};

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs pairsOf(const nlohmann::json& list) {
  Pairs pairs;
  for (const auto& pair : list) pairs.emplace_back(pair.at(0), pair.at(1));
  return pairs;
}

struct MethodCase {
  HTTPMethod method;
  ParameterEncoding encoding;
};

class HTTPSessionMethods : public HTTPSessionBackendTest,
                           public ::testing::WithParamInterface<MethodCase> {};

TEST_P(HTTPSessionMethods, ReachTheServerAsSent) {
  const auto [method, encoding] = GetParam();
  const nlohmann::json parameters = {{"text", "+&=% \xC3\xBC"}, {"n", 5}, {"flag", true}};
  const Pairs formPairs = {{"flag", "1"}, {"n", "5"}, {"text", "+&=% \xC3\xBC"}};
  auto delivery = deliver(
      session_
          ->request(url("/echo/method?keep=1"), method, parameters, encoding, {{"X-Test", "yes"}})
          .validate());
  ASSERT_TRUE(delivery->reply);
  const auto& reply = *delivery->reply;
  ASSERT_FALSE(reply.error) << reply.error->description;
  ASSERT_TRUE(reply.response);
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
    const auto echo = nlohmann::json::parse(text(reply.data));
    EXPECT_EQ(pairsOf(echo.at("form")), formPairs);
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

std::vector<MethodCase> allMethodCases() {
  std::vector<MethodCase> cases;
  for (int i = 0; i < 9; ++i) {
    for (auto encoding : {ParameterEncoding::url, ParameterEncoding::json}) {
      cases.push_back({static_cast<HTTPMethod>(i), encoding});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(AllNine, HTTPSessionMethods, ::testing::ValuesIn(allMethodCases()),
                         [](const auto& info) {
                           return std::string(rawValue(info.param.method)) +
                                  (info.param.encoding == ParameterEncoding::url ? "_URL"
                                                                                 : "_JSON");
                         });

struct StatusCase {
  int status;
  int lowerBound;
  int upperBound;
  bool accepted;
};

class HTTPSessionStatus : public HTTPSessionBackendTest,
                          public ::testing::WithParamInterface<StatusCase> {};

TEST_P(HTTPSessionStatus, OutsideTheRangeIsAnErrorThatStillCarriesStatusHeadersAndBody) {
  const auto [status, lower, upper, accepted] = GetParam();
  const auto code = std::to_string(status);
  auto delivery = deliver(session_->request(url("/echo/status/" + code)).validate(lower, upper));
  ASSERT_TRUE(delivery->reply);
  const auto& reply = *delivery->reply;
  ASSERT_TRUE(reply.response);
  EXPECT_EQ(reply.response->statusCode, status);
  EXPECT_EQ(platform::headerValue(reply.response->headers, "X-Status"), code);
  EXPECT_EQ(text(reply.data), "status " + code);
  if (accepted) {
    EXPECT_FALSE(reply.error);
  } else {
    ASSERT_TRUE(reply.error);
    EXPECT_EQ(reply.error->kind, Kind::unacceptableStatusCode);
  }
}

INSTANTIATE_TEST_SUITE_P(Boundaries, HTTPSessionStatus,
                         ::testing::Values(StatusCase{299, 200, 300, true},
                                           StatusCase{300, 200, 300, false},
                                           StatusCase{200, 199, 200, false},
                                           StatusCase{200, 201, 300, false},
                                           StatusCase{500, 500, 501, true}));

TEST_F(HTTPSessionBackendTest, WithoutValidationEveryStatusIsASuccess) {
  auto delivery = deliver(session_->request(url("/echo/status/503")));
  ASSERT_TRUE(delivery->reply && delivery->reply->response);
  EXPECT_EQ(delivery->reply->response->statusCode, 503);
  EXPECT_FALSE(delivery->reply->error);
}

TEST_F(HTTPSessionBackendTest, ConnectionDroppedMidResponseKeepsTheResponseAndWhatArrived) {
  backend().drop("/echo/drop");
  auto delivery = deliver(session_->request(url("/echo/drop")).validate());
  ASSERT_TRUE(delivery->reply);
  const auto& reply = *delivery->reply;
  ASSERT_TRUE(reply.error);
  EXPECT_EQ(reply.error->kind, Kind::connectionLost) << reply.error->description;
  ASSERT_TRUE(reply.response);
  EXPECT_EQ(reply.response->statusCode, 200);
  EXPECT_FALSE(reply.data.empty());
}

TEST_F(HTTPSessionBackendTest, ConcurrentBurstsKeepTheirConnectionsPooled) {
  // With libcurl's default pool size (four per transfer still running) a burst that drains
  // one by one closes kept-alive connections, and the next burst pays new handshakes. The
  // back end answers the requests of a burst one after the other to drain it that way.
  const int kBurst = static_cast<int>(HTTPSession::Configuration{}.maximumConnectionsPerHost);
  for (int i = 0; i < kBurst; ++i) {
    backend().delay("/echo/burst/" + std::to_string(i), std::chrono::milliseconds(40 * (i + 1)));
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

TEST_F(HTTPSessionBackendTest, RequestsFromManyThreadsEachCompleteOnce) {
  constexpr int kThreads = 4;
  constexpr int kEach = 10;
  auto succeeded = std::make_shared<std::atomic<int>>(0);
  auto calls = std::make_shared<std::atomic<int>>(0);
  {
    std::vector<std::jthread> senders;
    for (int t = 0; t < kThreads; ++t) {
      senders.emplace_back([&, t] {
        for (int i = 0; i < kEach; ++i) {
          session_->request(url("/echo/threads"), HTTPMethod::post, {{"t", t}, {"i", i}})
              .validate()
              .response([succeeded, calls](DataResponse reply) {
                ++*calls;
                if (!reply.error && reply.response) ++*succeeded;
              });
        }
      });
    }
  }
  ASSERT_TRUE(runMainLoopUntil([&] { return *calls == kThreads * kEach; }, 60s));
  drainMainQueue();
  EXPECT_EQ(*calls, kThreads * kEach);
  EXPECT_EQ(*succeeded, kThreads * kEach);
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
  auto withHeaders = deliver(session_->request(given));
  auto withDefaults = deliver(session_->request(url("/echo/headers")));
  ASSERT_TRUE(withHeaders->reply && !withHeaders->reply->error);
  ASSERT_TRUE(withDefaults->reply && !withDefaults->reply->error);

  const auto recorded = backend().requests("/echo/headers");
  ASSERT_EQ(recorded.size(), 2u);
  EXPECT_EQ(recorded[0].header("user-agent"), "Custom/1");
  EXPECT_EQ(recorded[0].header("accept"), "application/json");
  EXPECT_EQ(recorded[0].header("x-empty"), "");
  EXPECT_EQ(recorded[0].header("x-order"), "a, b");
  EXPECT_FALSE(recorded[0].header("expect"));
  EXPECT_EQ(recorded[0].body.size(), 100'000u);
  EXPECT_TRUE(recorded[1].header("user-agent").value_or("").starts_with("BrelumPlatform/"));

  const auto& response = *withDefaults->reply->response;
  EXPECT_EQ(platform::headerValue(response.headers, "Content-Type"), "application/json");
  EXPECT_TRUE(platform::headerValue(response.headers, "x-stand-in-connection"));
  EXPECT_EQ(response.url, url("/echo/headers"));
}

TEST_F(HTTPSessionBackendTest, BodiesArriveWholeUpToTheSessionLimit) {
  auto delivery = deliver(session_->request(url("/echo/bytes/3000000")));
  ASSERT_TRUE(delivery->reply && !delivery->reply->error);
  EXPECT_EQ(delivery->reply->data, std::vector<std::uint8_t>(3'000'000, 'x'));

  HTTPSession::Configuration configuration;
  configuration.maximumResponseBodySize = 1000;
  auto limited = HTTPSession::make(configuration);
  auto tooLarge = deliver(limited->request(url("/echo/bytes/5000")));
  ASSERT_TRUE(tooLarge->reply && tooLarge->reply->error);
  EXPECT_EQ(tooLarge->reply->error->kind, Kind::responseTooLarge);
}

TEST_F(HTTPSessionBackendTest, CertificateForAnotherNameIsRefused) {
  // The back end's certificate names its hosts and localhost, not this one.
  ASSERT_TRUE(platform::ConnectToTable::shared().add("elsewhere.test", 443, "127.0.0.1",
                                                     backend().httpsPort()));
  expectFailureWithoutResponse(*deliver(session_->request("https://elsewhere.test/echo")),
                               Kind::secureConnectionFailed);
  EXPECT_TRUE(backend().requests("/echo").empty());
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
  auto trusted = deliver(session_->request(get(url("/echo/trusted"), firstHeaders)));
  ASSERT_TRUE(trusted->reply && !trusted->reply->error) << trusted->reply->error->description;
  platform::clearExtraTrustedCAFile();
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

TEST_F(HTTPSessionBackendTest, RouteChangesReachTheRequestsSentAfterThem) {
  auto& table = platform::ConnectToTable::shared();
  const auto& host = backend().hosts().front();
  auto before = deliver(session_->request(url("/echo/route")));
  ASSERT_TRUE(before->reply && !before->reply->error) << before->reply->error->description;

  // A port nobody listens on: http://127.0.0.1:<port>/
  const auto refused = testsupport::refusedURL();
  const auto portText = refused.substr(refused.rfind(':') + 1);
  const auto refusedPort = static_cast<std::uint16_t>(std::stoi(portText));
  ASSERT_TRUE(table.add(host, 443, "127.0.0.1", refusedPort));
  expectFailureWithoutResponse(*deliver(session_->request(url("/echo/route"))),
                               Kind::cannotConnect);

  ASSERT_TRUE(table.add(host, 443, "127.0.0.1", backend().httpsPort()));
  auto after = deliver(session_->request(url("/echo/route")));
  ASSERT_TRUE(after->reply && !after->reply->error) << after->reply->error->description;
  EXPECT_EQ(backend().requests("/echo/route").size(), 2u);
}

// Requests reuse the libcurl handles of those before them: nothing of the first request of
// each pair (method, body, header fields, an aborted exchange) may reach the second.
struct ReuseCase {
  const char* name;
  URLRequest first;
  URLRequest second;
  std::optional<testsupport::Backend::Drop> dropFirst;

  friend void PrintTo(const ReuseCase& c, std::ostream* os) { *os << c.name; }
};

class HTTPSessionHandleReuse : public HTTPSessionBackendTest,
                               public ::testing::WithParamInterface<ReuseCase> {};

TEST_P(HTTPSessionHandleReuse, TheSecondRequestArrivesAsSent) {
  const auto& [name, firstGiven, secondGiven, dropFirst] = GetParam();
  auto first = firstGiven;
  first.url = url("/echo/first");
  first.headers.emplace_back("X-First", "1");
  auto second = secondGiven;
  second.url = url("/echo/second");
  if (dropFirst) backend().drop("/echo/first", *dropFirst);

  auto firstDelivery = deliver(session_->request(first));
  ASSERT_TRUE(firstDelivery->reply);
  EXPECT_EQ(!firstDelivery->reply->error, !dropFirst);
  auto delivery = deliver(session_->request(second));
  ASSERT_TRUE(delivery->reply);
  ASSERT_FALSE(delivery->reply->error) << delivery->reply->error->description;

  const auto recorded = backend().requests("/echo/second");
  ASSERT_EQ(recorded.size(), 1u);
  const auto& seen = recorded.front();
  EXPECT_EQ(seen.method, rawValue(second.method));
  EXPECT_EQ(seen.body, second.body ? text(*second.body) : "");
  EXPECT_FALSE(seen.header("x-first"));
  for (const auto& [field, value] : second.headers) {
    EXPECT_EQ(seen.header(field), value);
  }
  EXPECT_EQ(delivery->reply->data.empty(), second.method == HTTPMethod::head);
}

URLRequest requestOf(HTTPMethod method, std::optional<std::string> body = std::nullopt,
                     HTTPHeaders headers = {}) {
  std::optional<std::vector<std::uint8_t>> bytes;
  if (body) bytes.emplace(body->begin(), body->end());
  return URLRequest{{}, method, std::move(headers), std::move(bytes), std::nullopt};
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, HTTPSessionHandleReuse,
    ::testing::Values(
        ReuseCase{"HeadThenGet", requestOf(HTTPMethod::head), requestOf(HTTPMethod::get), {}},
        ReuseCase{
            "PostThenGet", requestOf(HTTPMethod::post, "abc"), requestOf(HTTPMethod::get), {}},
        ReuseCase{
            "PostThenHead", requestOf(HTTPMethod::post, "abc"), requestOf(HTTPMethod::head), {}},
        ReuseCase{
            "DeleteThenEmptyPost", requestOf(HTTPMethod::delete_), requestOf(HTTPMethod::post), {}},
        ReuseCase{"GetThenPatchWithHeaders",
                  requestOf(HTTPMethod::get),
                  requestOf(HTTPMethod::patch, "xyz", {{"X-Second", "2"}}),
                  {}},
        ReuseCase{"DroppedThenGet", requestOf(HTTPMethod::get), requestOf(HTTPMethod::get),
                  testsupport::Backend::Drop::midResponse}),
    [](const auto& info) { return info.param.name; });

TEST_F(HTTPSessionBackendTest, RedirectsAreFollowedAndOnlyTheFinalResponseIsDelivered) {
  // Sent at most once: following a redirect is a new request after a response, not a resend.
  for (const char* code : {"301", "302", "303", "307", "308"}) {
    auto delivery = deliver(
        session_->request(url(std::string("/echo/redirect/") + code)).validate().atMostOnce());
    ASSERT_TRUE(delivery->reply && delivery->reply->response) << code;
    const auto& reply = *delivery->reply;
    EXPECT_FALSE(reply.error) << code;
    EXPECT_EQ(reply.response->statusCode, 200) << code;
    EXPECT_EQ(reply.response->url, url("/echo/landed"));
    EXPECT_FALSE(platform::headerValue(reply.response->headers, "x-redirect")) << code;
    EXPECT_EQ(nlohmann::json::parse(text(reply.data)).at("path"), "/echo/landed");
  }
}

TEST_F(HTTPSessionBackendTest, ShutdownWithTwentyRequestsRunningOrWaitingCancelsEachOnce) {
  backend().delay("/echo/held", 60s);
  constexpr int kRequests = 20;
  auto calls = std::make_shared<std::array<std::atomic<int>, kRequests>>();
  auto cancelled = std::make_shared<std::atomic<int>>(0);
  auto serial = DispatchQueue::makeSerial("test.http.shutdown");
  for (int i = 0; i < kRequests; ++i) {
    auto queue = i % 2 ? serial : DispatchQueue::main();
    session_->request(url("/echo/held")).response(queue, [calls, cancelled, i](DataResponse reply) {
      ++(*calls)[i];
      if (reply.error && reply.error->kind == Kind::cancelled && !reply.response &&
          reply.data.empty()) {
        ++*cancelled;
      }
    });
  }
  // The first few are at the server, the rest wait their turn in the session: both kinds
  // must be cancelled. Every look at the record is an exchange with the back end, which is
  // busy with handshakes: look now and then rather than between every two main-queue items.
  const auto atTheServer = HTTPSession::Configuration{}.maximumConnectionsPerHost;
  auto nextLook = std::chrono::steady_clock::now();
  ASSERT_TRUE(runMainLoopUntil(
      [&] {
        if (std::chrono::steady_clock::now() < nextLook) return false;
        nextLook = std::chrono::steady_clock::now() + 100ms;
        return backend().requests("/echo/held").size() == atTheServer;
      },
      50s));
  session_->shutdown(HTTPSession::Clock::now() + 5s);
  // Every completion is posted by the time shutdown returns: draining the queues is enough.
  serial->sync([] {});
  drainMainQueue();
  EXPECT_EQ(*cancelled, kRequests);
  session_->shutdown(HTTPSession::Clock::now() + 1s);  // a second shutdown changes nothing
  serial->sync([] {});
  drainMainQueue();
  for (int i = 0; i < kRequests; ++i) EXPECT_EQ((*calls)[i], 1) << i;
}

}  // namespace

namespace {

class HTTPSessionCapTest : public HTTPSessionBackendTest {
 protected:
  std::shared_ptr<HTTPSession> capped_ = [] {
    HTTPSession::Configuration configuration;
    configuration.maximumConnectionsPerHost = 2;
    return HTTPSession::make(std::move(configuration));
  }();

  // Sends `count` requests to `path`/<i>, each with `timeout`; answers the replies in
  // the order they came.
  std::vector<DataResponse> sendAll(const std::string& path, int count,
                                    std::chrono::milliseconds timeout) {
    std::vector<DataResponse> replies;
    for (int i = 0; i < count; ++i) {
      capped_->request(url(path + std::to_string(i)))
          .timeout(timeout)
          .response([&](DataResponse reply) { replies.push_back(std::move(reply)); });
    }
    EXPECT_TRUE(runMainLoopUntil([&] { return replies.size() == std::size_t(count); }, 30s));
    return replies;
  }
};

TEST_F(HTTPSessionCapTest, AtMostTheCapRunsPerHostAndTheRestGoInOrder) {
  constexpr int kRequests = 6;
  backend().setFault(testsupport::Backend::Fault("/echo/cap/*").delay(100ms));
  const auto replies = sendAll("/echo/cap/", kRequests, 10s);
  std::set<int> connections;
  for (const auto& reply : replies) {
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
}

TEST_F(HTTPSessionCapTest, WaitingRequestsLastWhileTheHostAnswersAndTimeOutWhenItStops) {
  // Three rounds of 250 ms each, longer than the time-out of the last ones waiting, and
  // yet nothing stood still for that long.
  backend().setFault(testsupport::Backend::Fault("/echo/steady/*").delay(250ms));
  for (const auto& reply : sendAll("/echo/steady/", 6, 600ms)) {
    EXPECT_FALSE(reply.error) << reply.error->description;
  }
  // A host that never answers: those waiting fail too, most without ever going out (a
  // connection freed just before they are due may still take one each).
  backend().setFault(testsupport::Backend::Fault("/echo/stuck/*").delay(10s));
  for (const auto& reply : sendAll("/echo/stuck/", 8, 300ms)) {
    ASSERT_TRUE(reply.error);
    EXPECT_EQ(reply.error->kind, Kind::timedOut);
    EXPECT_FALSE(reply.response);
  }
  const auto recorded = backend().requests();
  EXPECT_LE(std::ranges::count_if(recorded,
                                  [](const auto& r) { return r.path.starts_with("/echo/stuck/"); }),
            4);
}

// libcurl sends a request again on a new connection when a kept-alive one dies after the
// request went out; a request sent at most once fails instead.
class HTTPSessionResend : public HTTPSessionBackendTest,
                          public ::testing::WithParamInterface<bool> {};

TEST_P(HTTPSessionResend, AfterTheReplyIsDroppedOnlyWithoutAtMostOnce) {
  const bool atMostOnce = GetParam();
  auto warm = deliver(session_->request(url("/echo/warm")));
  ASSERT_TRUE(warm->reply && !warm->reply->error) << warm->reply->error->description;
  backend().drop("/echo/event", testsupport::Backend::Drop::beforeResponse);
  auto request = session_->request(url("/echo/event"));
  if (atMostOnce) request.atMostOnce();
  expectFailureWithoutResponse(*deliver(std::move(request)), Kind::connectionLost);
  EXPECT_EQ(backend().requests("/echo/event").size(), atMostOnce ? 1u : 2u);
}

INSTANTIATE_TEST_SUITE_P(Modes, HTTPSessionResend, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "AtMostOnce" : "Default"; });

TEST_F(HTTPSessionBackendTest, ARequestHeadOfHalfAMegabyteGoesOutWhole) {
  // A queue message travels in the query: its head outgrows libcurl's default upload buffer.
  const std::string value(512 * 1024, 'q');
  session_->setTimeout(std::chrono::seconds(20));
  auto delivery = deliver(session_->request(url("/echo/long?v=" + value)).validate());
  ASSERT_TRUE(delivery->reply);
  EXPECT_FALSE(delivery->reply->error);
  const auto recorded = backend().requests("/echo/long");
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].rawQuery.size(), value.size() + 2);
}

}  // namespace
