#include "Classes/EventTracker/Gateway/BrelumAPI/EventTrackingJSON.h"

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <tuple>

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

EventTrackingJSON build(const Event& event, Date createdAt = kCreatedAt) {
  return EventTrackingJSONBuilder::make()->build("app-1", "2.0.0", createdAt, kUser, kDevice,
                                                 event);
}

std::expected<std::string, EncodingError> encode(const EventTrackingJSON& document) {
  return BrelumEventTrackingJSONEncoderFactory().make()->encode(document);
}

// The whole text, byte for byte: nesting, member order, wire keys, the creation time in the
// process's zone with its "+HHMM" or "-HHMM" offset, and "app_id" written twice.
TEST(EventTrackingJSON, TheDocumentIsWrittenExactlyInEachZone) {
  for (const auto& [zone, createdAt] : {std::pair{"Asia/Kolkata", "2025-12-07T03:32:40+0530"},
                                        {"America/New_York", "2025-12-06T17:02:40-0500"},
                                        {"Asia/Kathmandu", "2025-12-07T03:47:40+0545"}}) {
    platform::TimeZone::setCurrent(platform::TimeZone::fromIdentifier(zone));
    const std::string expected =
        R"({"data":{"app_id":"app-1","event":{"sdk_version":"2.0.0","app_identifier":")" +
        EventTracker::Data::Device::applicationVersion() + R"(","created_at":")" + createdAt +
        R"(","created_at_in_ms":1765058560750.0,"event_name":"Keyboard status","app_id":"app-1",)"
        R"("mode":"COMMERCE","user":{"user_id":"","client_user_id":"host-1","name":"Ann",)"
        R"("gender":"FEMALE"},"device":{"id":"","model":"m","data_network":"","is_wifi":false,)"
        R"("os_ver":"6.1","platform":"iOS"},"event":{"show_id":"s1","is_keyboard_displayed":true}}}})";
    EXPECT_EQ(encode(build(Event::keyboard_status("s1", true))).value_or(""), expected) << zone;
  }
  platform::TimeZone::setCurrent(std::nullopt);
}

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

// The writer works the milliseconds out from the creation date, fraction kept; an absent
// event leaves its member out.
TEST(EventTrackingJSON, CreationMillisecondsComeFromTheDateAndAnAbsentEventIsLeftOut) {
  auto document = build(Event::open_app("e"), Date(1.0078125));
  document.createdAtInMs = 42;
  document.event.reset();
  const auto body = nlohmann::ordered_json::parse(encode(document).value())["data"]["event"];
  EXPECT_EQ(body["created_at_in_ms"].dump(), "1007.8125");
  EXPECT_FALSE(body.contains("event"));
  EXPECT_EQ(body.size(), 9u);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

TEST(EventTrackingJSON, NonFiniteNumbersFailTheWholeDocumentAtTheirPath) {
  const std::tuple<Date, Event, std::string_view> cases[] = {
      {Date(kNaN), Event::open_app("e"), "data.event.created_at_in_ms"},
      {Date(1.0e306), Event::open_app("e"), "data.event.created_at_in_ms"},
      {kCreatedAt, Event::session("s", Date(kInfinity), Date(1)), "data.event.event.start_session"},
  };
  for (const auto& [createdAt, event, codingPath] : cases) {
    const auto text = encode(build(event, createdAt));
    ASSERT_FALSE(text.has_value()) << *text;
    EXPECT_EQ(text.error().kind, EncodingError::Kind::invalidValue);
    EXPECT_EQ(text.error().codingPath, codingPath);
  }
}

TEST(JSONEncoder, SnakeCaseKeysAreSpeltAsTheKeyStrategySpellsThem) {
  for (const auto& [key, converted] : {std::pair{"screen_name", "screen_name"},
                                       {"myURLProperty", "my_url_property"},
                                       {"myURL", "my_url"},
                                       {"x2Y", "x2_y"},
                                       {"Id", "id"},
                                       {"caf\u00E9Au", "caf\u00E9_au"}}) {
    EXPECT_EQ(convertToSnakeCase(key), converted);
  }
}

// Writing stops at the first value the encoder refuses, and that failure is reported.
struct NonFinite {
  [[nodiscard]] JSONEncoder::Result encode(JSONEncoder::KeyedContainer& container) const {
    container.encode("firstValue", 1.0);
    container.encode("secondValue", kNaN);
    container.encode("thirdValue", kInfinity);
    return container.result();
  }
};

TEST(JSONEncoder, FirstFailureEndsTheWritingAndIsReported) {
  EXPECT_EQ(JSONEncoder::make()->encode(NonFinite{}).error().codingPath, "secondValue");
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
    "quote \" backslash \\ slash / \b\f\n\r\t\x01\x1F \x7F",
    "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\xB4 \xEF\xBF\xBE\xEF\xBF\xBF",
    "overlong \xC0\xAF \xE0\x80\xAF surrogate \xED\xA0\x80 stray \x80\xBF\xFE\xFF \xF4\x90\x80\x80 "
    "cut \xE2\x82",
};

// Writes the members of an object of strings and counts.
struct Members {
  nlohmann::ordered_json object;
  [[nodiscard]] JSONEncoder::Result encode(JSONEncoder::KeyedContainer& container) const {
    for (const auto& [key, value] : object.items()) {
      if (value.is_string()) container.encode(key, value.get_ref<const std::string&>());
      if (!value.is_string()) container.encode(key, value.get<std::uint64_t>());
    }
    return container.result();
  }
};

// The encoder writes plain strings itself; whatever it writes must be exactly what the JSON
// library's own dump gives, escaping and replacement included, but for U+FFFE and U+FFFF.
TEST(JSONEncoder, WritesWhatTheJSONLibraryWritesButEscapesNonCharacters) {
  Members members;
  for (std::size_t i = 0; i < std::size(kAwkwardTexts); ++i) {
    members.object["v" + std::to_string(i)] = std::string(kAwkwardTexts[i]);
    members.object[std::string(kAwkwardTexts[i])] = std::uint64_t{i};
  }
  const auto text = JSONEncoder::make()->encode(members);
  ASSERT_TRUE(text.has_value());
  auto expected =
      members.object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
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
