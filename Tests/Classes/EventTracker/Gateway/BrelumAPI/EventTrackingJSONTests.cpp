#include "Classes/EventTracker/Gateway/BrelumAPI/EventTrackingJSON.h"

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Classes/EventTracker/EventTracker.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingJSONEncoderFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/EventTrackingJSONBuilder.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/JSONEncoder.h"
#include "Platform/Foundation/TimeZone.h"

namespace brelum {
namespace {

using Event = EventTracker::Event;
using platform::Date;

const EventTracker::Data::User kUser{"", "host-1", "Ann", "FEMALE"};
const EventTracker::Data::Device kDevice{"", "m", "", "6.1", "iOS", false};
// 2025-12-06T22:02:40.75Z
constexpr Date kCreatedAt(1765058560.75);

EventTrackingJSON build(const Event& event, Date createdAt = kCreatedAt,
                        EventTracker::Data::User user = kUser) {
  return EventTrackingJSONBuilder::make()->build("app-1", "2.0.0", createdAt, user, kDevice, event);
}

std::expected<std::string, EncodingError> encode(const EventTrackingJSON& document) {
  return BrelumEventTrackingJSONEncoderFactory().make()->encode(document);
}

struct ZoneCase {
  std::string_view zone;
  std::string_view createdAt;
};

void PrintTo(const ZoneCase& c, std::ostream* os) {
  *os << c.zone;
}

class DocumentInZone : public ::testing::TestWithParam<ZoneCase> {
 protected:
  void TearDown() override { platform::TimeZone::setCurrent(std::nullopt); }
};

// The whole text, byte for byte: nesting, member order, wire keys, the creation time in the
// process's zone with its "+HHMM" or "-HHMM" offset, and "app_id" written twice.
TEST_P(DocumentInZone, IsWrittenExactly) {
  platform::TimeZone::setCurrent(platform::TimeZone::fromIdentifier(GetParam().zone));
  const auto text = encode(build(Event::keyboard_status("s1", true)));
  ASSERT_TRUE(text.has_value());
  const std::string expected =
      R"({"data":{"app_id":"app-1","event":{"sdk_version":"2.0.0","app_identifier":")" +
      EventTracker::Data::Device::applicationVersion() + R"(","created_at":")" +
      std::string(GetParam().createdAt) +
      R"(","created_at_in_ms":1765058560750.0,"event_name":"Keyboard status","app_id":"app-1",)"
      R"("mode":"COMMERCE","user":{"user_id":"","client_user_id":"host-1","name":"Ann",)"
      R"("gender":"FEMALE"},"device":{"id":"","model":"m","data_network":"","is_wifi":false,)"
      R"("os_ver":"6.1","platform":"iOS"},"event":{"show_id":"s1","is_keyboard_displayed":true}}}})";
  EXPECT_EQ(*text, expected);
}

INSTANTIATE_TEST_SUITE_P(Zones, DocumentInZone,
                         ::testing::Values(ZoneCase{"Asia/Kolkata", "2025-12-07T03:32:40+0530"},
                                           ZoneCase{"America/New_York", "2025-12-06T17:02:40-0500"},
                                           ZoneCase{"Asia/Kathmandu", "2025-12-07T03:47:40+0545"}),
                         [](const auto& info) {
                           std::string name(info.param.zone);
                           std::erase(name, '/');
                           return name;
                         });

// A zone the database cannot name, given to the process as a rule, is the one the C library
// uses: ICU alone would take the zone /etc/localtime names.
TEST(EventTrackingJSONDeathTest, CreationTimeFollowsARuleTheProcessStartedWith) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, ICU not yet asked
  EXPECT_EXIT(
      {
        setenv("TZ", "<+0330>-3:30", 1);
        std::fputs(encode(build(Event::open_app("e"))).value_or("").c_str(), stderr);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "\"created_at\":\"2025-12-07T01:32:40\\+0330\"");
}

TEST(EventTrackingJSON, CreationMillisecondsKeepTheirFractionAndIgnoreTheStoredValue) {
  auto document = build(Event::open_app("e"), Date(1.0078125));
  document.createdAtInMs = 42;
  const auto parsed = nlohmann::ordered_json::parse(encode(document).value());
  EXPECT_EQ(parsed["data"]["event"]["created_at_in_ms"].dump(), "1007.8125");
}

TEST(EventTrackingJSON, AbsentEventLeavesTheMemberOut) {
  auto document = build(Event::open_app("e"));
  document.event.reset();
  const auto parsed = nlohmann::ordered_json::parse(encode(document).value());
  const auto& body = parsed["data"]["event"];
  EXPECT_FALSE(body.contains("event"));
  EXPECT_EQ(body.size(), 9u);
}

struct FailureCase {
  std::string_view name;
  Date createdAt;
  Event event;
  std::string_view codingPath;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class NonFiniteNumbers : public ::testing::TestWithParam<FailureCase> {};

TEST_P(NonFiniteNumbers, FailTheWholeDocument) {
  const auto& c = GetParam();
  const auto text = encode(build(c.event, c.createdAt));
  ASSERT_FALSE(text.has_value()) << *text;
  EXPECT_EQ(text.error().kind, EncodingError::Kind::invalidValue);
  EXPECT_EQ(text.error().codingPath, c.codingPath);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Documents, NonFiniteNumbers,
    ::testing::Values(FailureCase{"CreatedAtNaN", Date(kNaN), Event::open_app("e"),
                                  "data.event.created_at_in_ms"},
                      FailureCase{"CreatedAtTooLargeForMilliseconds", Date(1.0e306),
                                  Event::open_app("e"), "data.event.created_at_in_ms"},
                      FailureCase{"SessionStartInfinite", kCreatedAt,
                                  Event::session("s", Date(kInfinity), Date(1)),
                                  "data.event.event.start_session"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SnakeCase {
  std::string_view key;
  std::string_view converted;
};

class SnakeCaseKeys : public ::testing::TestWithParam<SnakeCase> {};

TEST_P(SnakeCaseKeys, ConvertAsTheKeyStrategySpellsThem) {
  EXPECT_EQ(convertToSnakeCase(GetParam().key), GetParam().converted);
}

INSTANTIATE_TEST_SUITE_P(Keys, SnakeCaseKeys,
                         ::testing::Values(SnakeCase{"screen_name", "screen_name"},
                                           SnakeCase{"myURLProperty", "my_url_property"},
                                           SnakeCase{"myURL", "my_url"}, SnakeCase{"x2Y", "x2_y"},
                                           SnakeCase{"Id", "id"},
                                           SnakeCase{"caf\xC3\xA9"
                                                     "Au",
                                                     "caf\xC3\xA9"
                                                     "_au"}));

// A value written through the encoder's containers directly.
struct Pair {
  std::string_view first;
  double second;
  [[nodiscard]] JSONEncoder::Result encode(JSONEncoder::KeyedContainer& container) const {
    container.encode("firstValue", first);
    container.encode("secondValue", second);
    container.encode("firstValue", "again");
    container.encode("thirdValue", kNaN);
    container.encode("fourthValue", kInfinity);
    return container.result();
  }
};

TEST(JSONEncoder, FirstFailureEndsTheWritingAndIsReported) {
  const auto text = JSONEncoder::make()->encode(Pair{"x", 1});
  ASSERT_FALSE(text.has_value());
  EXPECT_EQ(text.error().codingPath, "thirdValue");
}

struct Dated {
  Date date;
  [[nodiscard]] JSONEncoder::Result encode(JSONEncoder::KeyedContainer& container) const {
    container.encode("createdAt", date);
    container.encode("createdAt", date);  // a second write replaces the first in place
    container.encode("name", std::string_view("n"));
    return container.result();
  }
};

TEST(JSONEncoder, DefaultsWriteKeysAsGivenAndDatesAsSecondsSince2001) {
  const auto text = JSONEncoder::make()->encode(Dated{Date(978307200.5)});
  EXPECT_EQ(text.value(), R"({"createdAt":0.5,"name":"n"})");
}

// Strings of every kind the writer treats differently: plain ASCII, characters that need
// escaping, text beyond ASCII, DEL, and bytes that are not UTF-8 (truncated, overlong,
// surrogates, stray continuation bytes).
const std::string_view kAwkwardTexts[] = {
    "",
    "plain text, with: punctuation & 'quotes'",
    "quote \" backslash \\ slash /",
    "\b\f\n\r\t\x01\x1F",
    "\x7F",
    "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\xB4 \xEF\xBF\xBE\xEF\xBF\xBF",
    "cut \xE2\x82",
    "overlong \xC0\xAF and \xE0\x80\xAF",
    "surrogate \xED\xA0\x80 end",
    "stray \x80\xBF\xFE\xFF",
    "\xF4\x90\x80\x80 beyond U+10FFFF",
};

struct Everything {
  [[nodiscard]] JSONEncoder::Result encode(JSONEncoder::KeyedContainer& container) const {
    for (std::size_t i = 0; i < std::size(kAwkwardTexts); ++i) {
      container.encode("v" + std::to_string(i), kAwkwardTexts[i]);
      container.encode(kAwkwardTexts[i], std::uint64_t{i});
    }
    return container.result();
  }
};

nlohmann::ordered_json everythingByHand() {
  auto root = nlohmann::ordered_json::object();
  for (std::size_t i = 0; i < std::size(kAwkwardTexts); ++i) {
    root["v" + std::to_string(i)] = std::string(kAwkwardTexts[i]);
    root[std::string(kAwkwardTexts[i])] = std::uint64_t{i};
  }
  return root;
}

// The encoder writes plain strings itself; whatever it writes must be exactly what the JSON
// library's own dump gives, escaping and replacement included, but for U+FFFE and U+FFFF.
TEST(JSONEncoder, WritesWhatTheJSONLibraryWritesButEscapesNonCharacters) {
  const auto text = JSONEncoder::make()->encode(Everything{});
  ASSERT_TRUE(text.has_value());
  auto expected =
      everythingByHand().dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  for (const auto& [raw, escaped] :
       {std::pair{"\xEF\xBF\xBE", "\\ufffe"}, {"\xEF\xBF\xBF", "\\uffff"}}) {
    for (auto at = expected.find(raw); at != std::string::npos; at = expected.find(raw, at)) {
      expected.replace(at, 3, escaped);
    }
  }
  EXPECT_EQ(*text, expected);
}

}  // namespace
}  // namespace brelum
