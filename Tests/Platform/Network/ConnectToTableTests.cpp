#include "Platform/Network/ConnectToTable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using platform::ConnectToTable;
using Code = ConnectToTable::Error::Code;
using Entry = ConnectToTable::Entry;

using GoodCase = std::pair<std::string_view, std::vector<Entry>>;

class ConnectToTableGoodText : public ::testing::TestWithParam<GoodCase> {};

TEST_P(ConnectToTableGoodText, ParsesToCanonicalEntriesThatRenderBackUnchanged) {
  const auto& [text, expected] = GetParam();
  auto parsed = ConnectToTable::parse(text);
  ASSERT_TRUE(parsed.has_value()) << parsed.error().message();
  EXPECT_EQ(*parsed, expected);
  for (const auto& entry : expected) {
    auto again = ConnectToTable::parse(ConnectToTable::render(entry));
    ASSERT_TRUE(again.has_value()) << ConnectToTable::render(entry);
    EXPECT_EQ(*again, std::vector{entry});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ConnectToTableGoodText,
    ::testing::Values(
        GoodCase{"console.brelum.io:443:127.0.0.1:8443",
                 {{"console.brelum.io", 443, {"127.0.0.1", 8443}}}},
        GoodCase{"Console.Brelum.IO:443:127.0.0.1:1",
                 {{"console.brelum.io", 443, {"127.0.0.1", 1}}}},
        GoodCase{"[::1]:443:[::1]:8443", {{"::1", 443, {"::1", 8443}}}},
        GoodCase{" a.example:443:127.0.0.1:1 ,\tb.example:443:127.0.0.1:2 ",
                 {{"a.example", 443, {"127.0.0.1", 1}}, {"b.example", 443, {"127.0.0.1", 2}}}},
        GoodCase{"a.example:443:127.0.0.1:1,a.example:80:127.0.0.1:2",
                 {{"a.example", 443, {"127.0.0.1", 1}}, {"a.example", 80, {"127.0.0.1", 2}}}},
        GoodCase{"", {}}, GoodCase{"  ", {}}));

using BadCase = std::pair<std::string_view, Code>;

class ConnectToTableBadText : public ::testing::TestWithParam<BadCase> {};

TEST_P(ConnectToTableBadText, IsRefusedWithAMessageNamingTheEntryAndLeavesTheTableAlone) {
  const auto& [text, code] = GetParam();
  auto parsed = ConnectToTable::parse(text);
  ASSERT_FALSE(parsed.has_value());
  EXPECT_EQ(parsed.error().code, code) << parsed.error().message();
  EXPECT_NE(parsed.error().message().find(parsed.error().entry), std::string::npos);
  EXPECT_NE(std::string(text).find(parsed.error().entry), std::string::npos);

  ConnectToTable table;
  ASSERT_TRUE(table.add("kept.example", 443, "127.0.0.1", 1).has_value());
  EXPECT_FALSE(table.add(text).has_value());
  EXPECT_EQ(table.entries(), (std::vector<Entry>{{"kept.example", 443, {"127.0.0.1", 1}}}));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ConnectToTableBadText,
    ::testing::Values(
        BadCase{"console.brelum.io:443:127.0.0.1", Code::malformed},
        BadCase{"console.brelum.io:443:127.0.0.1:80:9", Code::malformed},
        BadCase{"host.example:443:::1:80", Code::malformed},
        BadCase{"good.example:443:127.0.0.1:1,,other.example:443:127.0.0.1:2", Code::malformed},
        BadCase{":443:127.0.0.1:80", Code::badHost},
        BadCase{"*.brelum.io:443:127.0.0.1:80", Code::badHost},
        BadCase{"[fe80::1%eth0]:443:127.0.0.1:80", Code::badHost},
        BadCase{"host.example:0:127.0.0.1:80", Code::badPort},
        BadCase{"host.example:65536:127.0.0.1:80", Code::badPort},
        BadCase{"host.example:+443:127.0.0.1:80", Code::badPort},
        BadCase{"host.example::127.0.0.1:80", Code::badPort},
        BadCase{"host.example:443::80", Code::badAddress},
        BadCase{"host.example:443:localhost:80", Code::badAddress},
        BadCase{"host.example:443:[127.0.0.1]:80", Code::badAddress},
        BadCase{"a.example:443:127.0.0.1:1,A.EXAMPLE:443:127.0.0.2:1", Code::duplicate}));

TEST(ConnectToTableTest, RouteMatchesHostWithoutRegardToCaseAndOnlyOnItsPort) {
  ConnectToTable table;
  ASSERT_TRUE(table.add("Console.Brelum.io", 443, "127.0.0.1", 4000).has_value());
  ASSERT_TRUE(table.add("[::1]", 443, "::1", 4001).has_value());

  EXPECT_EQ(table.route("console.brelum.io", 443), (ConnectToTable::Endpoint{"127.0.0.1", 4000}));
  EXPECT_EQ(table.route("CONSOLE.BRELUM.IO", 443), (ConnectToTable::Endpoint{"127.0.0.1", 4000}));
  EXPECT_EQ(table.route("console.brelum.io", 80), std::nullopt);
  EXPECT_EQ(table.route("console-dev.brelum.io", 443), std::nullopt);
  EXPECT_EQ(table.route("[::1]", 443), (ConnectToTable::Endpoint{"::1", 4001}));
  EXPECT_EQ(table.route("0:0::1", 443), (ConnectToTable::Endpoint{"::1", 4001}));
  EXPECT_EQ(table.route("", 443), std::nullopt);
  EXPECT_EQ(table.route("not a host", 443), std::nullopt);
}

// Adding a route again replaces it in place; every change, and only a change, moves the
// generation on.
TEST(ConnectToTableTest, ChangesReplaceInPlaceAndMoveTheGenerationOn) {
  ConnectToTable table;
  auto last = table.generation();
  auto moved = [&] {
    const auto now = table.generation();
    return std::exchange(last, now) != now;
  };
  ASSERT_TRUE(table.add("a.example", 443, "127.0.0.1", 1));
  EXPECT_TRUE(moved());
  ASSERT_TRUE(table.add("b.example", 443, "::1", 2));
  EXPECT_TRUE(moved());
  ASSERT_TRUE(table.add("A.example", 443, "127.0.0.3", 3));
  EXPECT_TRUE(moved());
  ASSERT_TRUE(table.add("c.example:443:127.0.0.1:3,d.example:80:127.0.0.1:4"));
  EXPECT_TRUE(moved());
  EXPECT_FALSE(table.add("e.example", 443, "localhost", 1));
  EXPECT_FALSE(table.add("e.example:443:127.0.0.1:1,bad"));
  (void)table.route("a.example", 443);
  EXPECT_EQ(table.curlConnectTo(),
            (std::vector<std::string>{"a.example:443:127.0.0.3:3", "b.example:443:[::1]:2",
                                      "c.example:443:127.0.0.1:3", "d.example:80:127.0.0.1:4"}));
  EXPECT_FALSE(moved());
  table.clear();
  EXPECT_TRUE(moved());
  EXPECT_TRUE(table.entries().empty());
  EXPECT_EQ(table.route("a.example", 443), std::nullopt);
}

class ConnectToTableEnvironment : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv(ConnectToTable::kEnvironmentVariable); }
};

TEST_F(ConnectToTableEnvironment, TakesEveryEntryOrNone) {
  ConnectToTable table;
  unsetenv(ConnectToTable::kEnvironmentVariable);
  EXPECT_TRUE(table.addFromEnvironment().has_value());
  EXPECT_TRUE(table.entries().empty());

  setenv(ConnectToTable::kEnvironmentVariable,
         "console.brelum.io:443:127.0.0.1:5000,api.brelum.io:443:127.0.0.1:5000", 1);
  ASSERT_TRUE(table.addFromEnvironment().has_value());
  EXPECT_EQ(table.curlConnectTo(), (std::vector<std::string>{"console.brelum.io:443:127.0.0.1:5000",
                                                             "api.brelum.io:443:127.0.0.1:5000"}));

  table.clear();
  setenv(ConnectToTable::kEnvironmentVariable,
         "console.brelum.io:443:127.0.0.1:5000,api.brelum.io:443:nowhere:5000", 1);
  auto refused = table.addFromEnvironment();
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().entry, "api.brelum.io:443:nowhere:5000");
  EXPECT_TRUE(table.entries().empty());
}

TEST(ConnectToTableTest, ConcurrentAddsAndLookupsLoseNothing) {
  ConnectToTable table;
  auto host = [](int w, int i) {
    return "h" + std::to_string(w) + "-" + std::to_string(i) + ".example";
  };
  {
    std::vector<std::jthread> threads;
    for (int w = 0; w < 4; ++w) {
      threads.emplace_back([&, w] {
        for (int i = 1; i <= 50; ++i) EXPECT_TRUE(table.add(host(w, i), 443, "127.0.0.1", i));
      });
      threads.emplace_back([&, w] {
        for (int i = 1; i <= 50; ++i) {
          if (auto found = table.route(host(w, i), 443)) {
            EXPECT_EQ(found->port, i);
          }
          (void)table.curlConnectTo();
        }
      });
    }
  }
  EXPECT_EQ(table.entries().size(), 200u);
}

}  // namespace
