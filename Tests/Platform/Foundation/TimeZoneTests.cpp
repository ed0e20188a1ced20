#include "Platform/Foundation/TimeZone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

using namespace std::string_view_literals;
using platform::Date;
using platform::TimeZone;

namespace {

struct IdentifierCase {
  std::string_view given;
  std::optional<std::string_view> identifier;
};
void PrintTo(const IdentifierCase& c, std::ostream* os) {
  *os << c.given;
}
class TimeZoneIdentifier : public ::testing::TestWithParam<IdentifierCase> {};

TEST_P(TimeZoneIdentifier, NamesOnlyZonesTheDatabaseKnows) {
  const auto& [given, identifier] = GetParam();
  const auto zone = TimeZone::fromIdentifier(given);
  ASSERT_EQ(zone.has_value(), identifier.has_value()) << given;
  if (zone) {
    EXPECT_EQ(zone->identifier(), *identifier);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Identifiers, TimeZoneIdentifier,
    ::testing::Values(IdentifierCase{"UTC", "UTC"}, IdentifierCase{"Asia/Kolkata", "Asia/Kolkata"},
                      IdentifierCase{"GMT+5:30", "GMT+05:30"},
                      IdentifierCase{"Nowhere/City", std::nullopt},
                      IdentifierCase{"america/new_york", std::nullopt},
                      // What the database answers for any unknown name: not a zone.
                      IdentifierCase{"Etc/Unknown", std::nullopt}, IdentifierCase{"", std::nullopt},
                      IdentifierCase{"UTC\0junk"sv, std::nullopt},
                      IdentifierCase{"Asia/\xff", std::nullopt}));

TEST(TimeZoneIdentifier, RefusesHugeNames) {
  EXPECT_EQ(TimeZone::fromIdentifier(std::string(100'000, 'A')), std::nullopt);
}

struct OffsetCase {
  std::string_view zone;
  double seconds;
  int offset;
};
void PrintTo(const OffsetCase& c, std::ostream* os) {
  *os << c.zone << " " << c.seconds;
}
class TimeZoneOffset : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(TimeZoneOffset, IncludesDaylightSavingInEffectAtTheDate) {
  const auto& c = GetParam();
  const auto zone = TimeZone::fromIdentifier(c.zone);
  ASSERT_TRUE(zone);
  EXPECT_EQ(zone->secondsFromGMT(Date(c.seconds)), c.offset);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
INSTANTIATE_TEST_SUITE_P(
    Zones, TimeZoneOffset,
    ::testing::Values(OffsetCase{"Asia/Kolkata", 1796576560, 19800},
                      OffsetCase{"America/New_York", 1796576560, -18000},
                      OffsetCase{"America/New_York", 1783166400, -14400},
                      // Dates no calendar reaches still get an answer, never a crash.
                      OffsetCase{"Asia/Kolkata", kNaN, 19800},
                      OffsetCase{"America/New_York", -1e300, -17762}));

class TimeZoneCurrent : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) savedTZ_ = tz;
  }
  void TearDown() override {
    if (savedTZ_) {
      setenv("TZ", savedTZ_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    TimeZone::setCurrent(std::nullopt);
  }

 private:
  std::optional<std::string> savedTZ_;
};

TEST_F(TimeZoneCurrent, SetCurrentWinsUntilTheSystemIsAskedAgain) {
  ASSERT_EQ(setenv("TZ", "Asia/Tokyo", 1), 0);
  TimeZone::setCurrent(std::nullopt);
  EXPECT_EQ(TimeZone::current().identifier(), "Asia/Tokyo");

  TimeZone::setCurrent(TimeZone::fromIdentifier("Asia/Kolkata"));
  EXPECT_EQ(TimeZone::current().identifier(), "Asia/Kolkata");

  TimeZone::setCurrent(std::nullopt);
  EXPECT_EQ(TimeZone::current().identifier(), "Asia/Tokyo");
}

TEST_F(TimeZoneCurrent, SystemZoneWithoutADatabaseNameIsReportedAsItsOffset) {
  ASSERT_EQ(setenv("TZ", "no-such-zone", 1), 0);
  TimeZone::setCurrent(std::nullopt);
  const auto current = TimeZone::current();
  EXPECT_TRUE(TimeZone::fromIdentifier(current.identifier())) << current.identifier();
  EXPECT_EQ(current.secondsFromGMT(Date(0)), 0);
}

}  // namespace
