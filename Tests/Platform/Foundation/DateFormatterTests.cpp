#include "Platform/Foundation/DateFormatter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

using platform::Date;
using platform::DateFormatter;
using platform::Locale;
using platform::TimeZone;

namespace {

// 2026-12-06T17:02:40Z, a Sunday in winter on both sides of the Atlantic.
constexpr double kWinter = 1796576560;

// The pattern ends with a quote that is never closed.
constexpr std::string_view kUnclosedQuote = "yyyy-MM-dd'T'HH:mm:ssZ'";
constexpr std::string_view kQuotedZ = "yyyy-MM-dd'T'HH:mm:ss.SSS'Z'";
constexpr std::string_view kKolkata = "2026-12-06T22:32:40+0530";
constexpr std::string_view kNewYork = "2026-12-06T12:02:40-0500";

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
class DateFormatterTest : public ::testing::Test {
 protected:
  void TearDown() override {
    TimeZone::setCurrent(savedZone_);
    Locale::setCurrent(std::nullopt);
  }

 private:
  TimeZone savedZone_ = TimeZone::current();
};

TEST(DateFormatterText, WritesAndReadsInTheFormattersZone) {
  for (const auto& [pattern, timeZone, seconds, text] :
       {std::tuple{kUnclosedQuote, "UTC", kWinter, std::string_view("2026-12-06T17:02:40+0000")},
        {kUnclosedQuote, "Asia/Kolkata", kWinter, kKolkata},
        {kQuotedZ, "Asia/Kolkata", kWinter + 0.125, "2026-12-06T22:32:40.125Z"},
        {"yyyy-MM-dd HH 'o''clock'", "UTC", 1709287200, "2024-03-01 10 o'clock"}}) {
    SCOPED_TRACE(text);
    const auto f = formatter(pattern, "en_US_POSIX", timeZone);
    EXPECT_EQ(f.string(Date(seconds)), text);
    EXPECT_EQ(f.date(text), Date(seconds));
  }
  // An offset in the text wins over the formatter's zone.
  EXPECT_EQ(formatter(kUnclosedQuote, "en_US_POSIX", "UTC").date(kKolkata), Date(kWinter));
}

TEST(DateFormatterText, RefusesTextThatDoesNotMatchExactly) {
  for (const auto& [pattern, text] : {
           std::pair{kQuotedZ, std::string_view("2024-03-01T10:20:30.123")},  // literal missing
           {"yyyy-MM-dd'T'HH'h'", "2024-03-01T10"},     // quoted closing literal missing
           {kQuotedZ, "2024-03-01T10:20:30.123Zjunk"},  // trailing text
           {kQuotedZ, "2024- 03-01T10:20:30.123Z"},     // space before a number
           {kQuotedZ, "2024-03-01T10:20:30.123\xff"},   // not UTF-8
           {"yyyy-MM-dd HH:mm", "2024-03-01  10:20"},   // two spaces for one
           {"yyyy-MM-dd HH:mm", "2024-03-10 02:30"},    // wall time skipped by DST
       }) {
    EXPECT_EQ(formatter(pattern, "en_US_POSIX", "America/New_York").date(text), std::nullopt)
        << text;
  }
}

TEST_F(DateFormatterTest, FollowsTheProcessZoneAndLocaleUntilSet) {
  DateFormatter f{std::string(kUnclosedQuote), Locale("en_US_POSIX")};
  TimeZone::setCurrent(zone("Asia/Kolkata"));
  EXPECT_EQ(f.string(Date(kWinter)), kKolkata);
  TimeZone::setCurrent(zone("America/New_York"));
  EXPECT_EQ(f.string(Date(kWinter)), kNewYork);
  f.setTimeZone(zone("Asia/Kolkata"));
  TimeZone::setCurrent(zone("UTC"));
  EXPECT_EQ(f.string(Date(kWinter)), kKolkata);
  f.setTimeZone(std::nullopt);
  EXPECT_EQ(f.string(Date(kWinter)), "2026-12-06T17:02:40+0000");

  DateFormatter g{"d MMMM"};
  Locale::setCurrent(Locale("en_US"));
  EXPECT_EQ(g.string(Date(kWinter)), "6 December");
  Locale::setCurrent(Locale("de_DE"));
  EXPECT_EQ(g.string(Date(kWinter)), "6 Dezember");
  g.setLocale(Locale("en_US"));
  EXPECT_EQ(g.string(Date(kWinter)), "6 December");
  g.setLocale(std::nullopt);
  EXPECT_EQ(g.string(Date(kWinter)), "6 Dezember");
}

TEST(DateFormatterSettings, ChangesAfterFirstUseTakeEffect) {
  auto f = formatter("yyyy", "en_US", "UTC");
  EXPECT_EQ(f.string(Date(kWinter)), "2026");
  f.setDateFormat("MMMM yyyy");
  EXPECT_EQ(f.string(Date(kWinter)), "December 2026");
  f.setLocale(Locale("de_DE"));
  EXPECT_EQ(f.string(Date(kWinter)), "Dezember 2026");
  f.setTimeZone(zone("Pacific/Kiritimati"));  // +14:00 moves the date into 2027 here
  f.setDateFormat("yyyy-MM-dd");
  EXPECT_EQ(f.string(Date(1798761600 - 3600)), "2027-01-01");
}

TEST(DateFormatterSettings, UnusablePatternsAndDatesGiveEmptyText) {
  auto f = formatter("yyyy ABC", "en_US_POSIX", "UTC");
  EXPECT_EQ(f.string(Date(kWinter)), "");
  EXPECT_EQ(f.date("2026 x"), std::nullopt);
  f.setDateFormat("yyyy");
  EXPECT_EQ(f.string(Date(kWinter)), "2026");
  f.setDateFormat("yyyy\xff");
  EXPECT_EQ(f.string(Date(kWinter)), "");
  f.setDateFormat(std::string(kUnclosedQuote));
  EXPECT_EQ(f.string(Date(kWinter)), "2026-12-06T17:02:40+0000");  // built afresh
  for (double seconds : {std::numeric_limits<double>::quiet_NaN(),
                         -std::numeric_limits<double>::infinity(), 1e300}) {
    EXPECT_EQ(f.string(Date(seconds)), "") << seconds;
  }
}

TEST(DateFormatterSettings, CopiesKeepSettingsButNotEachOthersChanges) {
  auto original = formatter(kUnclosedQuote, "en_US_POSIX", "Asia/Kolkata");
  EXPECT_EQ(original.string(Date(kWinter)), kKolkata);
  DateFormatter copy = original;
  original.setTimeZone(zone("America/New_York"));
  EXPECT_EQ(copy.string(Date(kWinter)), kKolkata);
  EXPECT_EQ(original.string(Date(kWinter)), kNewYork);
  DateFormatter moved = std::move(original);
  EXPECT_EQ(moved.string(Date(kWinter)), kNewYork);
  original.setDateFormat("yyyy");  // NOLINT(bugprone-use-after-move): moved-from stays usable
  EXPECT_FALSE(original.string(Date(kWinter)).empty());
}

// One formatter without a zone, shared by many threads while another thread keeps moving
// the process zone.
TEST_F(DateFormatterTest, SharedFormatterFollowsZoneChangesOnManyThreads) {
  DateFormatter shared{std::string(kUnclosedQuote), Locale("en_US_POSIX")};
  TimeZone::setCurrent(zone("America/New_York"));  // before any thread formats
  std::atomic<int> mismatches = 0;
  {
    std::vector<std::jthread> threads;
    threads.emplace_back([] {
      for (int i = 0; i < 200; ++i) TimeZone::setCurrent(zone(i % 2 ? "Asia/Kolkata" : "UTC"));
    });
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&] {
        for (int i = 0; i < 200; ++i) {
          const auto text = shared.string(Date(kWinter));
          if (text != kKolkata && text != kNewYork && text != "2026-12-06T17:02:40+0000")
            ++mismatches;
        }
      });
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
