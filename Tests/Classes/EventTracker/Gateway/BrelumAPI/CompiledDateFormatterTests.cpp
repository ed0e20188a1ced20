#include "Classes/EventTracker/Gateway/BrelumAPI/CompiledDateFormatter.h"

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/Foundation/DateFormatter.h"
#include "Platform/Foundation/TimeZone.h"

namespace brelum {
namespace {

using platform::Date;
using platform::Locale;

constexpr std::string_view kEventPattern = "yyyy-MM-dd'T'HH:mm:ssZ'";

// Instants where a hand-written formatter would most likely part ways with ICU: second,
// day and year boundaries hit from both sides and by fractions, leap days, daylight-saving
// changes, the Gregorian switch, and values ICU refuses.
//
// From 1970 on: the epoch, a binary fraction, 2000-02-28T23:59:59.999Z, 2000-02-29,
// 2024-02-29T00:00:00.5Z, New York springing forward (2024-03-10T07:00Z) and falling back
// (2024-11-03T06:00Z), a fraction of three quarters, just before 2100,
// 9999-12-31T23:59:59.999Z, far beyond any calendar use. Before: negative zero,
// 1969-12-31T23:59:59.9995Z, one second before, 1583-01-01, 1582-10-15 (the first Gregorian
// day), 1582-10-14 as ICU counts it (a Julian date), 0001-01-01, before the common era. And
// the values that are not finite.
std::vector<double> testInstants() {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  std::vector<double> instants{
      0.0,          1.0078125,     951782399.999,      951782400.0,      1709164800.5, 1710054000.0,
      1730613600.0, 1765058560.75, 4102444799.9999995, 253402300799.999, 1.0e15,       kInfinity};
  instants.insert(instants.end(), {-0.0, -0.0005, -1.0, -12212553600.0, -12219292800.0,
                                   -12219379200.0, -62135596800.0, -78000000000.0, -kInfinity});
  instants.push_back(std::numeric_limits<double>::quiet_NaN());
  // Spread over 1583 to 9999 with awkward fractions, from a fixed linear congruential source.
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  for (int i = 0; i < 150; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const double unit = static_cast<double>(state >> 11) / static_cast<double>(1ull << 53);
    instants.push_back(-12212553600.0 + unit * (253402300799.0 + 12212553600.0));
  }
  return instants;
}

class CompiledDateFormatterInZone : public ::testing::TestWithParam<std::string_view> {
 protected:
  void SetUp() override {
    auto zone = platform::TimeZone::fromIdentifier(GetParam());
    ASSERT_TRUE(zone.has_value()) << GetParam();
    platform::TimeZone::setCurrent(zone);
  }
  void TearDown() override { platform::TimeZone::setCurrent(std::nullopt); }
};

TEST_P(CompiledDateFormatterInZone, WritesWhatTheICUFormatterWrites) {
  const std::pair<std::string_view, std::string_view> settings[] = {
      {kEventPattern, "en_US"},
      {kEventPattern, "en_US_POSIX"},
      {"y/M/d H:m:s yy yyy Z ZZ ZZZ", "de_DE"},
      {"dd.MM.yyyy 'um' HH:mm ''Uhr''", "de_DE"},
      {"'open ''quote", "en_US"},
      {"", "en_US"},
  };
  const auto instants = testInstants();
  for (const auto& [pattern, locale] : settings) {
    const CompiledDateFormatter compiled{std::string(pattern), Locale(std::string(locale))};
    const platform::DateFormatter reference{std::string(pattern), Locale(std::string(locale))};
    for (double seconds : instants) {
      ASSERT_EQ(compiled.string(Date(seconds)), reference.string(Date(seconds)))
          << pattern << " in " << locale << " at " << seconds;
    }
  }
}

// Africa/Monrovia was -0:44:30 until 1972.
INSTANTIATE_TEST_SUITE_P(Zones, CompiledDateFormatterInZone,
                         ::testing::Values("UTC", "Asia/Kolkata", "America/New_York",
                                           "Europe/London", "Asia/Kathmandu", "Pacific/Chatham",
                                           "Africa/Monrovia", "GMT-03:00"));

// The event document's pattern must not fall back to building ICU formatters, or every
// event pays for one; patterns and locales the direct writer does not cover must.
TEST(CompiledDateFormatter, WritesTheEventPatternDirectlyAndLeavesTheRestToICU) {
  EXPECT_TRUE(CompiledDateFormatter(std::string(kEventPattern), Locale("en_US")).writesDirectly());
  EXPECT_TRUE(CompiledDateFormatter("yy/M/d", Locale("en_US_POSIX")).writesDirectly());
  EXPECT_FALSE(CompiledDateFormatter(std::string(kEventPattern), Locale("ar_EG")).writesDirectly());
  EXPECT_FALSE(CompiledDateFormatter(std::string(kEventPattern), Locale("th_TH")).writesDirectly());
  EXPECT_FALSE(CompiledDateFormatter("HH:mm:ss.SSS", Locale("en_US")).writesDirectly());
  EXPECT_FALSE(CompiledDateFormatter("yyyy \xC3\xA0 HH", Locale("fr_FR")).writesDirectly());
}

// Formatters are made and used from many threads at once, sharing compiled patterns.
TEST(CompiledDateFormatter, FormattersOnManyThreadsAgree) {
  const std::string expected =
      platform::DateFormatter(std::string(kEventPattern), Locale("en_US")).string(Date(1.5e9));
  std::vector<std::thread> threads;
  std::vector<int> mismatches(6, 0);
  for (std::size_t t = 0; t < mismatches.size(); ++t) {
    threads.emplace_back([&expected, &count = mismatches[t], t] {
      for (int i = 0; i < 100; ++i) {
        // Every thread makes its own pattern too, so the shared table grows under contention.
        const CompiledDateFormatter own("yyyy" + std::string(t + 1, 'M'), Locale("en_US"));
        (void)own.string(Date(i));
        const CompiledDateFormatter formatter(std::string(kEventPattern), Locale("en_US"));
        if (formatter.string(Date(1.5e9)) != expected) ++count;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int count : mismatches) EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace brelum
