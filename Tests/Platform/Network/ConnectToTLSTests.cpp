// The connect-to table and the extra CA working together with a real TLS client: the URL's
// host stays the server name (SNI, certificate check, Host header) while the connection
// goes to the stand-in back end on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/use_future.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include "Platform/Network/ConnectToTable.h"
#include "Platform/Network/ExtraTrustedCA.h"
#include "Tests/Support/Backend.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
namespace ssl = boost::asio::ssl;
using platform::ConnectToTable;

struct Outcome {
  boost::system::error_code error;  // set when the exchange failed
  int status = 0;
  std::string body;
};

asio::awaitable<Outcome> get(ssl::context& context, ConnectToTable::Endpoint to, std::string host,
                             std::string target) {
  beast::ssl_stream<beast::tcp_stream> stream(co_await asio::this_coro::executor, context);
  SSL_set_tlsext_host_name(stream.native_handle(), host.c_str());
  stream.set_verify_callback(ssl::host_name_verification(host));
  Outcome outcome;
  auto token = asio::redirect_error(asio::use_awaitable, outcome.error);
  co_await beast::get_lowest_layer(stream).async_connect(
      {asio::ip::make_address(to.address), to.port}, token);
  if (outcome.error) co_return outcome;
  co_await stream.async_handshake(ssl::stream_base::client, token);
  if (outcome.error) co_return outcome;
  http::request<http::empty_body> request{http::verb::get, target, 11};
  request.set(http::field::host, host);
  co_await http::async_write(stream, request, token);
  if (outcome.error) co_return outcome;
  beast::flat_buffer buffer;
  http::response<http::string_body> response;
  co_await http::async_read(stream, buffer, response, token);
  outcome.status = static_cast<int>(response.result_int());
  outcome.body = response.body();
  co_return outcome;
}

// GET https://host:port/target the way the framework's network code does it: the table
// says where to connect; the system store and the extra CA say whom to trust.
Outcome getThroughTable(const std::string& host, std::uint16_t port, const std::string& target) {
  auto to = ConnectToTable::shared().route(host, port);
  if (!to) {
    ADD_FAILURE() << "no route for " << host << ":" << port << "; refusing to leave the machine";
    return {asio::error::host_not_found, 0, {}};
  }
  ssl::context context(ssl::context::tls_client);
  context.set_verify_mode(ssl::verify_peer);
  context.set_default_verify_paths();
  if (auto added = platform::addExtraTrustedCA(context.native_handle()); !added) {
    ADD_FAILURE() << added.error().message();
  }
  asio::io_context io;
  auto future = asio::co_spawn(io, get(context, *to, host, target), asio::use_future);
  io.run_for(std::chrono::seconds(30));
  if (future.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    ADD_FAILURE() << "no outcome within 30 s";
    return {asio::error::timed_out, 0, {}};
  }
  return future.get();
}

bool isVerificationFailure(const boost::system::error_code& error) {
  return error.category() == asio::error::get_ssl_category() &&
         ERR_GET_REASON(static_cast<unsigned long>(error.value())) ==
             SSL_R_CERTIFICATE_VERIFY_FAILED;
}

class ConnectToTLSTest : public testsupport::BackendTest {};

TEST_F(ConnectToTLSTest, ReachesTheBackEndUnderTheServerNameWithEverythingVerified) {
  auto outcome = getThroughTable("console.brelum.io", 443, "/health");
  ASSERT_FALSE(outcome.error) << outcome.error.message();
  EXPECT_EQ(outcome.status, 200);
  EXPECT_EQ(outcome.body, R"({"ok":true})");

  auto received = backend().requests("/health");
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].sni, "console.brelum.io");
  EXPECT_EQ(received[0].header("Host"), "console.brelum.io");
}

class ConnectToTLSEveryHost : public ConnectToTLSTest,
                              public ::testing::WithParamInterface<const char*> {};

TEST_P(ConnectToTLSEveryHost, IsOnTheCertificateAndRouted) {
  auto outcome = getThroughTable(GetParam(), 443, "/health");
  ASSERT_FALSE(outcome.error) << outcome.error.message();
  EXPECT_EQ(outcome.status, 200);
  EXPECT_EQ(backend().requests("/health").at(0).sni, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Hosts, ConnectToTLSEveryHost,
                         ::testing::Values("console.brelum.io", "console-dev.brelum.io",
                                           "api.brelum.io", "sqs.us-east-1.amazonaws.com",
                                           "socket.brelum.io"));

TEST_F(ConnectToTLSTest, HostNotOnTheCertificateFailsVerification) {
  ASSERT_TRUE(
      ConnectToTable::shared().add("wrong.example", 443, "127.0.0.1", backend().httpsPort()));
  auto outcome = getThroughTable("wrong.example", 443, "/health");
  EXPECT_TRUE(isVerificationFailure(outcome.error)) << outcome.error.message();
  EXPECT_TRUE(backend().requests().empty());
}

TEST_F(ConnectToTLSTest, WithoutTheExtraCAVerificationFails) {
  platform::clearExtraTrustedCAFile();
  auto outcome = getThroughTable("console.brelum.io", 443, "/health");
  EXPECT_TRUE(isVerificationFailure(outcome.error)) << outcome.error.message();
  EXPECT_TRUE(backend().requests().empty());
}

TEST_F(ConnectToTLSTest, ACAOfAnotherRunIsNotTrusted) {
  auto other = testsupport::Backend::start();
  ASSERT_TRUE(other.has_value()) << other.error();
  ASSERT_TRUE(platform::setExtraTrustedCAFile((*other)->caFile()));
  auto outcome = getThroughTable("console.brelum.io", 443, "/health");
  EXPECT_TRUE(isVerificationFailure(outcome.error)) << outcome.error.message();
}

}  // namespace
