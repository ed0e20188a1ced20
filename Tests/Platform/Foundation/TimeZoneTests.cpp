#include "Platform/Foundation/TimeZone.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <tuple>

#include "Platform/Foundation/DateFormatter.h"

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
                      IdentifierCase{"America/New_York", "America/New_York"},
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
                      OffsetCase{"UTC", 1783166400, 0}, OffsetCase{"GMT+5:30", 0, 19800},
                      // Dates no calendar reaches still get an answer, never a crash.
                      OffsetCase{"Asia/Kolkata", kNaN, 19800},
                      OffsetCase{"Asia/Kolkata", 1e300, 19800},
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

// The C library reads a rule in TZ that the database has no name for; the zone is the one
// it gives, east and west of Greenwich.
TEST_F(TimeZoneCurrent, SystemZoneGivenAsARuleIsTheCLibrarysOffset) {
  for (const auto& [rule, identifier, offset] :
       {std::tuple{"<+0330>-3:30", "GMT+03:30", 12600}, {"<-0930>9:30", "GMT-09:30", -34200}}) {
    ASSERT_EQ(setenv("TZ", rule, 1), 0);
    TimeZone::setCurrent(std::nullopt);
    EXPECT_EQ(TimeZone::current().identifier(), identifier) << rule;
    EXPECT_EQ(TimeZone::current().secondsFromGMT(Date(0)), offset) << rule;
  }
}

// A process started with such a rule formats in it from the first call on: ICU alone would
// take the zone /etc/localtime names.
TEST(TimeZoneStartupDeathTest, FormattersFollowARuleTheProcessStartedWith) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, ICU not yet asked
  EXPECT_EXIT(
      {
        setenv("TZ", "<+0330>-3:30", 1);
        std::fputs(platform::DateFormatter("HH:mm Z").string(Date(0)).c_str(), stderr);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "03:30 \\+0330");
}

}  // namespace
