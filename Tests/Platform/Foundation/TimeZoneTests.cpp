#include "Platform/Foundation/TimeZone.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "Platform/Foundation/DateFormatter.h"

using namespace std::string_view_literals;
using platform::Date;
using platform::TimeZone;

namespace {

TEST(TimeZoneIdentifier, NamesOnlyZonesTheDatabaseKnows) {
  const std::string overlong(129, 'A');
  for (const auto& [given, identifier] :
       {std::pair{"Asia/Kolkata"sv, std::optional<std::string_view>("Asia/Kolkata")},
        {"GMT+5:30", "GMT+05:30"},
        // What the database answers for any unknown name: not a zone.
        {"Etc/Unknown", std::nullopt},
        {"Nowhere/City", std::nullopt},
        {"", std::nullopt},
        {"UTC\0junk"sv, std::nullopt},
        {overlong, std::nullopt}}) {
    const auto zone = TimeZone::fromIdentifier(given);
    EXPECT_EQ(zone ? std::optional<std::string_view>(zone->identifier()) : std::nullopt, identifier)
        << given;
  }
}

TEST(TimeZoneOffset, IncludesDaylightSavingAndAnswersForAnyDate) {
  const auto newYork = TimeZone::fromIdentifier("America/New_York");
  ASSERT_TRUE(newYork);
  EXPECT_EQ(newYork->secondsFromGMT(Date(1783166400)), -14400);  // July: daylight saving
  // Dates no calendar reaches still get an answer, never a crash.
  EXPECT_EQ(newYork->secondsFromGMT(Date(std::numeric_limits<double>::quiet_NaN())), -18000);
  EXPECT_EQ(newYork->secondsFromGMT(Date(-1e300)), -17762);
}

// Puts TZ and the current zone back after each test.
class TimeZoneCurrent : public ::testing::Test {
 protected:
  void TearDown() override {
    saved_ ? setenv("TZ", saved_->c_str(), 1) : unsetenv("TZ");
    TimeZone::setCurrent(std::nullopt);
  }
  static TimeZone system(const char* tz) {
    setenv("TZ", tz, 1);
    TimeZone::setCurrent(std::nullopt);
    return TimeZone::current();
  }
  const std::optional<std::string> saved_ =
      std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
};

TEST_F(TimeZoneCurrent, SetCurrentWinsUntilTheSystemIsAskedAgain) {
  EXPECT_EQ(system("Asia/Tokyo").identifier(), "Asia/Tokyo");
  TimeZone::setCurrent(TimeZone::fromIdentifier("Asia/Kolkata"));
  EXPECT_EQ(TimeZone::current().identifier(), "Asia/Kolkata");
  TimeZone::setCurrent(std::nullopt);
  EXPECT_EQ(TimeZone::current().identifier(), "Asia/Tokyo");
}

// The C library reads a rule in TZ that the database has no name for; the zone is the one
// it gives, east and west of Greenwich, and GMT for garbage.
TEST_F(TimeZoneCurrent, SystemZoneWithoutADatabaseNameIsTheCLibrarysOffset) {
  for (const auto& [rule, identifier, offset] : {std::tuple{"<+0330>-3:30", "GMT+03:30", 12600},
                                                 {"<-0930>9:30", "GMT-09:30", -34200},
                                                 {"no-such-zone", "GMT", 0}}) {
    const auto current = system(rule);
    EXPECT_EQ(current.identifier(), identifier) << rule;
    EXPECT_EQ(current.secondsFromGMT(Date(0)), offset) << rule;
  }
}

// A rule with summer time was fixed at the offset in force when the system was asked, so
// every date after the next switch came out an hour off. The database's zone under the same
// rule is the oracle, on both sides of both switches of 2026 and for wall times the spring
// switch skips (refused) and the autumn one passes twice (the later offset).
TEST_F(TimeZoneCurrent, SummerTimeRuleGivesEachInstantTheOffsetInForceThen) {
  const auto current = system("CET-1CEST,M3.5.0,M10.5.0/3");
  const auto berlin = TimeZone::fromIdentifier("Europe/Berlin").value();
  platform::DateFormatter following("yyyy-MM-dd HH:mm Z");
  platform::DateFormatter pinned("yyyy-MM-dd HH:mm Z");
  pinned.setTimeZone(current);
  platform::DateFormatter reference("yyyy-MM-dd HH:mm Z");
  reference.setTimeZone(berlin);
  for (const double switchAt : {1774746000.0, 1792890000.0}) {
    for (double at = switchAt - 7200; at <= switchAt + 7200; at += 1800) {
      SCOPED_TRACE(at);
      EXPECT_EQ(current.secondsFromGMT(Date(at)), berlin.secondsFromGMT(Date(at)));
      EXPECT_EQ(following.string(Date(at)), reference.string(Date(at)));
      EXPECT_EQ(pinned.string(Date(at)), reference.string(Date(at)));
    }
  }
  platform::DateFormatter wall("yyyy-MM-dd HH:mm");
  platform::DateFormatter wallReference("yyyy-MM-dd HH:mm");
  wallReference.setTimeZone(berlin);
  for (const char* text : {"2026-03-29 01:59", "2026-03-29 02:30", "2026-03-29 03:00",
                           "2026-10-25 01:59", "2026-10-25 02:30", "2026-10-25 03:00"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(wall.date(text), wallReference.date(text));
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
