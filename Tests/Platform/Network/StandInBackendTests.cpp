// The stand-in back end's fault switches and recorder: every later network test trusts
// them to do exactly what they say, so they are checked here against the real process.
#include "Tests/Support/Backend.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <future>
#include <ostream>
#include <string>

#include "Tests/Support/MainLoopPump.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Backend;
using testsupport::runMainLoopUntil;

class StandInBackendTest : public testsupport::BackendTest {};

struct OverrideCase {
  const char* name;
  Backend::Fault fault;
  int status;
  std::string body;

  friend void PrintTo(const OverrideCase& c, std::ostream* os) { *os << c.name; }
};

class StandInBackendOverride : public StandInBackendTest,
                               public ::testing::WithParamInterface<OverrideCase> {};

TEST_P(StandInBackendOverride, AnswersTheSwitchedStatusAndBodyInsteadOfTheRoute) {
  backend().setFault(GetParam().fault);
  auto response = backend().request("GET", "/health");
  ASSERT_TRUE(response.has_value()) << response.error();
  EXPECT_EQ(response->status, GetParam().status);
  EXPECT_EQ(response->body, GetParam().body);
  EXPECT_EQ(backend().requests("/health").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, StandInBackendOverride,
    ::testing::Values(
        OverrideCase{"ServerError", Backend::Fault("/health").status(500, "boom"), 500, "boom"},
        OverrideCase{"EmptyNoContent", Backend::Fault("/health").status(204, "ignored"), 204, ""},
        OverrideCase{"BinaryBody",
                     Backend::Fault("/health").status(200, std::string("\0\xff\x80z", 4)), 200,
                     std::string("\0\xff\x80z", 4)},
        OverrideCase{"SubtreeSwitch", Backend::Fault("/he*").status(503), 503, ""},
        OverrideCase{"EveryPath", Backend::Fault("*").status(502), 502, ""},
        OverrideCase{"OtherMethodOnly", Backend::Fault("/health").method("POST").status(500), 200,
                     R"({"ok":true})"},
        OverrideCase{"OtherPathOnly", Backend::Fault("/healthz").status(500), 200,
                     R"({"ok":true})"}));

TEST_F(StandInBackendTest, MostSpecificSwitchWinsAndCountedSwitchesLift) {
  backend().setFault(Backend::Fault("*").status(500));
  backend().setFault(Backend::Fault("/health").status(503).times(1));
  EXPECT_EQ(backend().request("GET", "/health")->status, 503);
  EXPECT_EQ(backend().request("GET", "/health")->status, 500);
  EXPECT_EQ(backend().request("GET", "/other")->status, 500);
  backend().clearFaults();
  EXPECT_EQ(backend().request("GET", "/health")->status, 200);
  EXPECT_EQ(backend().request("GET", "/other")->status, 404);
}

TEST_F(StandInBackendTest, DroppedConnectionsFailTheExchangeButTheRequestIsRecorded) {
  for (auto how : {Backend::Drop::midResponse, Backend::Drop::beforeResponse}) {
    backend().reset();
    backend().drop("/health", how);
    auto response = backend().request("GET", "/health");
    EXPECT_FALSE(response.has_value()) << "status " << response->status;
    EXPECT_EQ(backend().requests("/health").size(), 1u);
  }
}

TEST_F(StandInBackendTest, DelayedRequestStaysInFlightUntilTheClientGivesUp) {
  backend().delay("/health", 10min);
  auto pending =
      std::async(std::launch::async, [&] { return backend().request("GET", "/health", {}, 3s); });
  ASSERT_TRUE(runMainLoopUntil([&] { return !backend().requests("/health").empty(); }));
  EXPECT_FALSE(backend().idle());
  EXPECT_FALSE(pending.get().has_value());
  EXPECT_TRUE(runMainLoopUntil([&] { return backend().idle(); }));
}

TEST_F(StandInBackendTest, RecordsExactBodyBytesAndTheFormDecodedQuery) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  auto response = backend().request("POST", "/any/path?a=1+2&b=%26%3D&a=x", bytes);
  ASSERT_TRUE(response.has_value()) << response.error();
  EXPECT_EQ(response->status, 404);

  auto received = backend().requests("/any/path");
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].method, "POST");
  EXPECT_EQ(received[0].rawQuery, "a=1+2&b=%26%3D&a=x");
  EXPECT_EQ(received[0].query, (std::vector<std::pair<std::string, std::string>>{
                                   {"a", "1 2"}, {"b", "&="}, {"a", "x"}}));
  EXPECT_EQ(received[0].body, bytes);
  EXPECT_EQ(received[0].header("content-length"), "256");
  EXPECT_TRUE(backend().requests("/other").empty());
}

class StandInBackendBadSwitch : public StandInBackendTest,
                                public ::testing::WithParamInterface<const char*> {};

TEST_P(StandInBackendBadSwitch, IsRefusedAndNothingIsApplied) {
  auto response = backend().request("POST", "/__control/faults", GetParam());
  ASSERT_TRUE(response.has_value()) << response.error();
  EXPECT_EQ(response->status, 400) << response->body;
  EXPECT_EQ(backend().request("GET", "/health")->status, 200);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, StandInBackendBadSwitch,
    ::testing::Values(R"({"path":"/health","stauts":500})", R"({"path":"/health","status":99})",
                      R"({"path":"/health","status":"500"})", R"({"path":"health","status":500})",
                      R"({"path":"/health","drop":"sometimes"})",
                      R"({"path":"/health","delayMs":-1})", R"({"path":"/health","times":0})",
                      R"({"path":"/health","body":"no status"})", R"({"path":"/health"})",
                      R"([{"path":"/health","status":500},{"path":"/x","status":1}])",
                      R"({"path":"/health","status":500)", R"("text")"));

TEST(StandInBackendLifetime, StopsWhenItsInputClosesAndRemovesItsFiles) {
  auto backend = Backend::start({"only.example"});
  ASSERT_TRUE(backend.has_value()) << backend.error();
  EXPECT_EQ((*backend)->hosts(), std::vector<std::string>{"only.example"});
  auto folder = (*backend)->caFile().parent_path();
  ASSERT_TRUE(std::filesystem::exists(folder));
  pid_t pid = (*backend)->pid();

  int status = (*backend)->stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_NE(kill(pid, 0), 0);
}

TEST(StandInBackendLifetime, RefusesAHostNameItCouldNotCertify) {
  auto backend = Backend::start({"*.brelum.io"});
  ASSERT_FALSE(backend.has_value());
  EXPECT_NE(backend.error().find("exited with status 2"), std::string::npos) << backend.error();
}

}  // namespace
