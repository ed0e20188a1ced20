#include "Classes/EventTracker/EventTrackerProperties.h"

#include <ostream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Classes/EventTracker/EventTrackerScreen.h"

namespace brelum {
namespace {

using Kind = DecodingError::Kind;

TEST(EventTrackerScreen, DecodingRefusesOtherTextAndOtherKinds) {
  EXPECT_EQ(decodeScreen(nlohmann::json("Nope")).error().kind, Kind::dataCorrupted);
  EXPECT_EQ(decodeScreen(nlohmann::json(3)).error().kind, Kind::typeMismatch);
  EXPECT_EQ(decodeScreen(nlohmann::json()).error().kind, Kind::typeMismatch);
}

TEST(EventTrackerProperties, EveryFieldRoundTripsThroughJSON) {
  const EventTrackerProperties full{"Live", "boom", "hi",  "s1",  "c1",  true,
                                    "12",   false,  1500u, 4000u, 2500u, true};
  const auto decoded = EventTrackerProperties::decode(nlohmann::json::parse(full.encode().dump()));
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(*decoded, full);
  EXPECT_EQ(decoded->dictionary().size(), 12u);
}

struct DecodeCase {
  std::string_view name;
  std::string_view document;
  std::optional<Kind> failure;  // nothing: decodes
  std::string_view failingKey;
  std::string_view reencoded;  // the decoded value encoded again
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
  *os << c.name;
}

class PropertiesDecoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(PropertiesDecoding, TakesOrRefusesTheDocument) {
  const auto& c = GetParam();
  const auto decoded = EventTrackerProperties::decode(nlohmann::json::parse(c.document));
  if (!c.failure) {
    ASSERT_TRUE(decoded.has_value()) << decoded.error().debugDescription;
    EXPECT_EQ(decoded->encode().dump(), c.reencoded);
  } else {
    ASSERT_FALSE(decoded.has_value());
    EXPECT_EQ(decoded.error().kind, *c.failure);
    EXPECT_EQ(decoded.error().key, c.failingKey);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Documents, PropertiesDecoding,
    ::testing::Values(DecodeCase{"NullAndUnknownKeysAreAbsent",
                                 R"({"show_id":null,"colour":"red","latency":"5"})", std::nullopt,
                                 "", R"({"latency":"5"})"},
                      DecodeCase{"WholeFloatIsACount", R"({"end_session":2.0})", std::nullopt, "",
                                 R"({"end_session":2})"},
                      DecodeCase{"FlagAsText", R"({"full_screen":"yes"})", Kind::typeMismatch,
                                 "full_screen", ""},
                      DecodeCase{"NegativeCount", R"({"start_session":-1})", Kind::dataCorrupted,
                                 "start_session", ""},
                      DecodeCase{"FractionalCount", R"({"total_session_time_millisecond":1.5})",
                                 Kind::dataCorrupted, "total_session_time_millisecond", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brelum
