#include "Classes/EventTracker/EventTrackerUser.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace brelum {
namespace {

using Kind = DecodingError::Kind;

TEST(EventTrackerUser, DecodingIgnoresKeysItDoesNotKnow) {
  const auto decoded = EventTrackerUser::decode(nlohmann::json::parse(
      R"({"gender":"MALE","name":"B","client_user_id":"c","user_id":"u","age":4})"));
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(*decoded, (EventTrackerUser{"u", "c", "B", "MALE"}));
}

struct RefusalCase {
  std::string_view name;
  std::string_view document;
  Kind kind;
  std::string_view key;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
  *os << c.name;
}

class UserDecodingRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(UserDecodingRefusal, MakesNoUser) {
  const auto& c = GetParam();
  const auto decoded = EventTrackerUser::decode(nlohmann::json::parse(c.document));
  ASSERT_FALSE(decoded.has_value());
  EXPECT_EQ(decoded.error().kind, c.kind);
  EXPECT_EQ(decoded.error().key, c.key);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, UserDecodingRefusal,
    ::testing::Values(
        RefusalCase{"MissingGender", R"({"user_id":"u","client_user_id":"c","name":"n"})",
                    Kind::keyNotFound, "gender"},
        RefusalCase{"NumberForText",
                    R"({"user_id":1,"client_user_id":"c","name":"n","gender":"g"})",
                    Kind::typeMismatch, "user_id"},
        RefusalCase{"NullForText",
                    R"({"user_id":"u","client_user_id":"c","name":null,"gender":"g"})",
                    Kind::valueNotFound, "name"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brelum
