#include "Platform/Foundation/DateFormatter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using namespace std::string_view_literals;
using platform::Date;
using platform::DateFormatter;
using platform::Locale;
using platform::TimeZone;

namespace {

// 2026-12-06T17:02:40Z, a Sunday in winter on both sides of the Atlantic.
constexpr double kWinter = 1796576560;
// 2026-07-04T12:00:00Z, daylight-saving time in New York.
constexpr double kSummer = 1783166400;

// The pattern ends with a quote that is never closed.
constexpr std::string_view kUnclosedQuote = "yyyy-MM-dd'T'HH:mm:ssZ'";
constexpr std::string_view kQuotedZ = "yyyy-MM-dd'T'HH:mm:ss.SSS'Z'";

TimeZone zone(std::string_view identifier) {
  auto found = TimeZone::fromIdentifier(identifier);
  EXPECT_TRUE(found) << identifier;
  return found.value_or(TimeZone::gmt());
}

DateFormatter formatter(std::string_view pattern, std::string_view locale,
                        std::string_view timeZone) {
  DateFormatter f{std::string(pattern), Locale(std::string(locale))};
  f.setTimeZone(zone(timeZone));
  return f;
}

// Puts the process's zone and locale back for whatever runs next in this process.
class ProcessDefaultsGuard : public ::testing::Test {
 protected:
  void TearDown() override {
    TimeZone::setCurrent(savedZone_);
    Locale::setCurrent(std::nullopt);
  }

 private:
  TimeZone savedZone_ = TimeZone::current();
};

struct FormatCase {
  std::string_view pattern, locale, zone;
  double seconds;
  std::string_view expected;
};
void PrintTo(const FormatCase& c, std::ostream* os) {
  *os << c.pattern << " | " << c.locale << " | " << c.zone << " | " << c.seconds;
}
class DateFormatting : public ::testing::TestWithParam<FormatCase> {};

TEST_P(DateFormatting, WritesTheDateInTheFormattersZoneAndLocale) {
  const auto& c = GetParam();
  EXPECT_EQ(formatter(c.pattern, c.locale, c.zone).string(Date(c.seconds)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(UnclosedQuote, DateFormatting,
                         ::testing::Values(FormatCase{kUnclosedQuote, "en_US_POSIX", "UTC", kWinter,
                                                      "2026-12-06T17:02:40+0000"},
                                           FormatCase{kUnclosedQuote, "en_US_POSIX", "Asia/Kolkata",
                                                      kWinter, "2026-12-06T22:32:40+0530"},
                                           FormatCase{kUnclosedQuote, "en_US", "America/New_York",
                                                      kSummer, "2026-07-04T08:00:00-0400"},
                                           FormatCase{kUnclosedQuote, "en_US_POSIX", "UTC", -1,
                                                      "1969-12-31T23:59:59+0000"}));

INSTANTIATE_TEST_SUITE_P(Patterns, DateFormatting,
                         ::testing::Values(FormatCase{kQuotedZ, "en_US_POSIX", "Asia/Kolkata",
                                                      kWinter + 0.125, "2026-12-06T22:32:40.125Z"},
                                           FormatCase{"EEE, d MMM yyyy HH:mm:ss Z", "en_US", "UTC",
                                                      kWinter, "Sun, 6 Dec 2026 17:02:40 +0000"},
                                           FormatCase{"yyyy-MM-dd 'o''clock' HH", "en_US_POSIX",
                                                      "UTC", kWinter, "2026-12-06 o'clock 17"},
                                           FormatCase{"yyyy-MM-dd", "en_US_POSIX", "Asia/Kolkata",
                                                      253402300799, "10000-01-01"}));

struct ParseCase {
  std::string_view pattern, zone, text;
  double seconds;
};
void PrintTo(const ParseCase& c, std::ostream* os) {
  *os << c.pattern << " | " << c.zone << " | " << c.text;
}
class DateParsing : public ::testing::TestWithParam<ParseCase> {};

TEST_P(DateParsing, ReadsTheDate) {
  const auto& c = GetParam();
  const auto date = formatter(c.pattern, "en_US_POSIX", c.zone).date(c.text);
  ASSERT_TRUE(date) << c.text;
  EXPECT_NEAR(date->timeIntervalSince1970(), c.seconds, 1e-6) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, DateParsing,
    ::testing::Values(
        // A quoted Z is a literal: the time is local to the formatter's zone.
        ParseCase{kQuotedZ, "Asia/Kolkata", "2024-03-01T10:20:30.123Z", 1709268630.123},
        // An offset in the text wins over the formatter's zone.
        ParseCase{kUnclosedQuote, "UTC", "2026-12-06T22:32:40+0530", kWinter},
        ParseCase{kUnclosedQuote, "Asia/Kolkata", "2026-12-06T12:02:40-0500", kWinter},
        // The offset field also takes the ISO forms, as the platform's parser does.
        ParseCase{kUnclosedQuote, "Asia/Kolkata", "2026-12-06T17:02:40Z", kWinter},
        ParseCase{kUnclosedQuote, "UTC", "2026-12-06T22:32:40+05:30", kWinter},
        ParseCase{"yyyy-MM-dd", "UTC", "2024-02-29", 1709164800}));

struct RefusalCase {
  std::string_view pattern, text, why;
};
void PrintTo(const RefusalCase& c, std::ostream* os) {
  *os << c.why;
}
class StrictParsing : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(StrictParsing, RefusesTextThatDoesNotMatchExactly) {
  const auto& c = GetParam();
  EXPECT_EQ(formatter(c.pattern, "en_US_POSIX", "America/New_York").date(c.text), std::nullopt)
      << c.why;
}

INSTANTIATE_TEST_SUITE_P(
    Refused, StrictParsing,
    ::testing::Values(
        RefusalCase{kQuotedZ, "2024-03-01T10:20:30Z", "milliseconds missing"},
        RefusalCase{kQuotedZ, "2024-03-01T10:20:30.123+0000", "offset where Z is quoted"},
        RefusalCase{kQuotedZ, "2024-03-01T10:20:30.123", "closing literal missing"},
        RefusalCase{"yyyy-MM-dd'T'HH'h'", "2024-03-01T10", "quoted closing literal missing"},
        RefusalCase{kQuotedZ, "2024-03-01T10:20:30.123Zjunk", "trailing text"},
        RefusalCase{kQuotedZ, "2024- 03-01T10:20:30.123Z", "space before a number"},
        RefusalCase{kQuotedZ, "2024-03-01T10:20:30.123Z\0"sv, "trailing NUL"},
        RefusalCase{kQuotedZ, "2024-03-01T10:20:30.123\xff", "not UTF-8"},
        RefusalCase{kQuotedZ, "", "empty"},
        RefusalCase{"yyyy-MM-dd HH:mm", "2024-03-01  10:20", "two spaces for one"},
        RefusalCase{"yyyy-MM-dd HH:mm", "2024-03-10 02:30", "wall time skipped by DST"},
        RefusalCase{kUnclosedQuote, "2026-12-06T17:02:40", "offset missing"},
        RefusalCase{kUnclosedQuote, "2026-12-06T17:02:40+0000'",
                    "the open quote adds no literal"}));

using DateFormatterTest = ProcessDefaultsGuard;

TEST_F(DateFormatterTest, FollowsTheProcessZoneUntilOneIsSet) {
  DateFormatter f{std::string(kUnclosedQuote), Locale("en_US_POSIX")};
  TimeZone::setCurrent(zone("Asia/Kolkata"));
  EXPECT_EQ(f.string(Date(kWinter)), "2026-12-06T22:32:40+0530");
  TimeZone::setCurrent(zone("America/New_York"));
  EXPECT_EQ(f.string(Date(kWinter)), "2026-12-06T12:02:40-0500");
  EXPECT_EQ(f.date("2026-12-06T12:02:40-0500"), Date(kWinter));

  f.setTimeZone(zone("UTC"));
  TimeZone::setCurrent(zone("Asia/Kolkata"));
  EXPECT_EQ(f.string(Date(kWinter)), "2026-12-06T17:02:40+0000");

  f.setTimeZone(std::nullopt);
  EXPECT_EQ(f.string(Date(kWinter)), "2026-12-06T22:32:40+0530");
}

TEST_F(DateFormatterTest, LocalTimeIsReadInTheProcessZoneWhenNoneIsSet) {
  DateFormatter f{std::string(kQuotedZ), Locale("en_US_POSIX")};
  TimeZone::setCurrent(zone("Asia/Kolkata"));
  EXPECT_EQ(f.date("2024-03-01T10:20:30.125Z"), Date(1709268630.125));
  TimeZone::setCurrent(zone("America/New_York"));
  EXPECT_EQ(f.date("2024-03-01T10:20:30.125Z"), Date(1709306430.125));
}

TEST_F(DateFormatterTest, FollowsTheCurrentLocaleUntilOneIsSet) {
  DateFormatter f{"d MMMM"};
  f.setTimeZone(zone("UTC"));
  Locale::setCurrent(Locale("en_US"));
  EXPECT_EQ(f.string(Date(kWinter)), "6 December");
  Locale::setCurrent(Locale("de_DE"));
  EXPECT_EQ(f.string(Date(kWinter)), "6 Dezember");
  EXPECT_EQ(f.date("6 Dezember"), Date(29289600));  // no year in the pattern: 1970

  f.setLocale(Locale("en_US"));
  EXPECT_EQ(f.string(Date(kWinter)), "6 December");
  f.setLocale(std::nullopt);
  EXPECT_EQ(f.string(Date(kWinter)), "6 Dezember");
}

TEST(DateFormatterSettings, ChangesAfterFirstUseTakeEffect) {
  auto f = formatter("yyyy", "en_US", "UTC");
  EXPECT_EQ(f.string(Date(kWinter)), "2026");
  f.setDateFormat("MMMM yyyy");
  EXPECT_EQ(f.string(Date(kWinter)), "December 2026");
  EXPECT_EQ(f.date("December 2026"), Date(1796083200));
  EXPECT_EQ(f.date("2026"), std::nullopt);
  f.setLocale(Locale("de_DE"));
  EXPECT_EQ(f.string(Date(kWinter)), "Dezember 2026");
  f.setTimeZone(zone("Pacific/Kiritimati"));  // +14:00 moves the date into 2027 here
  f.setDateFormat("yyyy-MM-dd");
  EXPECT_EQ(f.string(Date(1798761600 - 3600)), "2027-01-01");
}

TEST(DateFormatterSettings, UnusablePatternFormatsNothingUntilReplaced) {
  auto f = formatter("yyyy ABC", "en_US_POSIX", "UTC");
  EXPECT_EQ(f.string(Date(kWinter)), "");
  EXPECT_EQ(f.date("2026 x"), std::nullopt);
  f.setDateFormat("yyyy");
  EXPECT_EQ(f.string(Date(kWinter)), "2026");
  f.setDateFormat("");
  EXPECT_EQ(f.string(Date(kWinter)), "");
  EXPECT_EQ(f.date(""), std::nullopt);
  f.setDateFormat("yyyy\xff");
  EXPECT_EQ(f.string(Date(kWinter)), "");
}

TEST(DateFormatterSettings, UnknownLocaleFallsBackToRootConventions) {
  auto f = formatter(kUnclosedQuote, std::string(300, 'x'), "UTC");
  EXPECT_EQ(f.string(Date(kWinter)), "2026-12-06T17:02:40+0000");
}

TEST(DateFormatterSettings, DatesOutsideTheCalendarFormatAsEmptyText) {
  const auto f = formatter(kUnclosedQuote, "en_US_POSIX", "UTC");
  for (double seconds :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), 1e300, -1e300}) {
    EXPECT_EQ(f.string(Date(seconds)), "") << seconds;
  }
}

TEST(DateFormatterSettings, CopiesKeepSettingsButNotEachOthersChanges) {
  auto original = formatter(kUnclosedQuote, "en_US_POSIX", "Asia/Kolkata");
  EXPECT_EQ(original.string(Date(kWinter)), "2026-12-06T22:32:40+0530");
  DateFormatter copy = original;
  original.setTimeZone(zone("America/New_York"));
  EXPECT_EQ(copy.string(Date(kWinter)), "2026-12-06T22:32:40+0530");
  EXPECT_EQ(original.string(Date(kWinter)), "2026-12-06T12:02:40-0500");

  DateFormatter moved = std::move(original);
  EXPECT_EQ(moved.string(Date(kWinter)), "2026-12-06T12:02:40-0500");
  original.setDateFormat("yyyy");  // NOLINT(bugprone-use-after-move): moved-from stays usable
  EXPECT_FALSE(original.string(Date(kWinter)).empty());
}

TEST_F(DateFormatterTest, FormattersOnManyThreadsStayIndependent) {
  struct Work {
    DateFormatter formatter;
    std::string expected;
  };
  std::vector<Work> work;
  for (int i = 0; i < 8; ++i) {
    if (i % 2 == 0) {
      work.push_back({formatter("EEE d MMM yyyy HH:mm:ss Z", "en_US", "Asia/Kolkata"),
                      "Sun 6 Dec 2026 22:32:40 +0530"});
    } else {
      work.push_back({formatter("EEE d MMM yyyy HH:mm:ss Z", "de_DE", "America/New_York"),
                      "So. 6 Dez. 2026 12:02:40 -0500"});
    }
  }
  // Formatters without a zone of their own, shared by every thread, while another thread
  // keeps moving the process zone between the two zones.
  DateFormatter shared{std::string(kUnclosedQuote), Locale("en_US_POSIX")};
  TimeZone::setCurrent(zone("America/New_York"));  // before any thread formats
  std::vector<int> mismatches(work.size(), 0);
  {
    std::vector<std::jthread> threads;
    threads.emplace_back([] {
      for (int i = 0; i < 200; ++i) {
        TimeZone::setCurrent(zone(i % 2 ? "Asia/Kolkata" : "America/New_York"));
      }
    });
    for (std::size_t t = 0; t < work.size(); ++t) {
      threads.emplace_back([&, t] {
        auto& [f, expected] = work[t];
        for (int i = 0; i < 200; ++i) {
          if (f.string(Date(kWinter)) != expected || f.date(expected) != Date(kWinter)) {
            ++mismatches[t];
          }
          const auto text = shared.string(Date(kWinter));
          if (text != "2026-12-06T22:32:40+0530" && text != "2026-12-06T12:02:40-0500") {
            ++mismatches[t];
          }
        }
      });
    }
  }
  for (std::size_t t = 0; t < work.size(); ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
