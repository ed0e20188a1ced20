// The HTTP session as the environment and the server shape its exchanges: proxy variables
// (read by libcurl on each request) and compressed responses.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "Platform/Network/HTTPSession.h"
#include "Tests/Support/Backend.h"
#include "Tests/Support/MainLoopPump.h"

using namespace std::chrono_literals;
using platform::DataResponse;
using platform::HTTPSession;

namespace {

DataResponse get(const std::shared_ptr<HTTPSession>& session, const std::string& url) {
  auto reply = testsupport::awaitCompletion<DataResponse>(
      [&](auto done) { session->request(url).response(done); });
  return reply.value_or(DataResponse{});
}

std::string text(const DataResponse& reply) {
  return {reply.data.begin(), reply.data.end()};
}

class HTTPProxyTest : public testsupport::BackendTest {
 protected:
  void TearDown() override {
    BackendTest::TearDown();
    for (const char* name : {"https_proxy", "HTTPS_PROXY", "no_proxy", "NO_PROXY"}) {
      ::unsetenv(name);
    }
  }
};

// The proxy is asked for the connect-to table's address, not the server's name, so a proxy
// never takes traffic off the machine; TLS still checks the server's name end to end.
TEST_F(HTTPProxyTest, ProxyVariablesTunnelToTheConnectToAddressUnlessNoProxySaysSo) {
  ::setenv("https_proxy", ("http://127.0.0.1:" + std::to_string(backend().httpPort())).c_str(), 1);
  auto session = HTTPSession::make();
  const auto proxied = get(session, "https://console.brelum.io/echo/proxied");
  EXPECT_FALSE(proxied.error) << proxied.error->description;
  auto requests = backend().requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "CONNECT");
  EXPECT_EQ(requests[0].path, "127.0.0.1:" + std::to_string(backend().httpsPort()));
  EXPECT_EQ(requests[1].path, "/echo/proxied");
  EXPECT_EQ(requests[1].sni, "console.brelum.io");

  backend().reset();
  ::setenv("no_proxy", "console.brelum.io", 1);
  const auto direct = get(HTTPSession::make(), "https://console.brelum.io/echo/direct");
  EXPECT_FALSE(direct.error);
  requests = backend().requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].path, "/echo/direct");
}

TEST_F(HTTPProxyTest, AnUnreachableProxyFailsTheRequest) {
  ::setenv("https_proxy", "http://127.0.0.1:1", 1);
  const auto reply = get(HTTPSession::make(), "https://console.brelum.io/echo/x");
  ASSERT_TRUE(reply.error);
  EXPECT_FALSE(reply.response);
  EXPECT_TRUE(backend().requests().empty());
}

class HTTPCompressionTest : public testsupport::BackendTest {};

// The size limit protects memory, so it counts the bytes after decompression.
TEST_F(HTTPCompressionTest, BodiesArriveDecompressedAndTheLimitCountsWhatTheyBecome) {
  HTTPSession::Configuration configuration;
  configuration.maximumResponseBodySize = 100'000;
  auto session = HTTPSession::make(configuration);

  const auto small = get(session, "https://console.brelum.io/echo/gzip/100000");
  EXPECT_FALSE(small.error);
  EXPECT_EQ(text(small), std::string(100'000, 'x'));
  ASSERT_TRUE(small.response);
  EXPECT_EQ(platform::headerValue(small.response->headers, "content-encoding"), "gzip");

  const auto large = get(session, "https://console.brelum.io/echo/gzip/100001");
  ASSERT_TRUE(large.error);
  EXPECT_EQ(large.error->kind, platform::HTTPSessionError::Kind::responseTooLarge);
}

}  // namespace
