#include "Platform/Foundation/NumberFormatter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

using platform::Locale;
using platform::NumberFormatter;

namespace {

NumberFormatter decimal(std::string_view locale, bool grouping, int minimum, int maximum) {
  NumberFormatter f;
  f.setNumberStyle(NumberFormatter::Style::decimal);
  f.setUsesGroupingSeparator(grouping);
  f.setMinimumFractionDigits(minimum);
  f.setMaximumFractionDigits(maximum);
  f.setLocale(Locale(std::string(locale)));
  return f;
}

TEST(NumberFormatterText, WritesTheLocalesSeparatorsRoundingHalfToEven) {
  for (const auto& [locale, grouping, minimum, maximum, value, expected] :
       {std::tuple{"en_US", true, 2, 2, 1234.5, "1,234.50"},
        {"en_US", false, 2, 2, 1234.5, "1234.50"},
        {"de_DE", true, 2, 2, 1234.5, "1.234,50"},
        {"en_US", true, 0, 2, 0.125, "0.12"},
        {"en_US", true, 2, 2, 0.004, "0.00"}}) {
    EXPECT_EQ(decimal(locale, grouping, minimum, maximum).string(value), expected) << expected;
  }
  const auto f = decimal("en_US", true, 2, 2);
  EXPECT_EQ(f.string(std::numeric_limits<double>::infinity()), "∞");
  EXPECT_EQ(f.string(std::numeric_limits<double>::quiet_NaN()), "NaN");
}

TEST(NumberFormatterStyle, StyleResetsGroupingAndDigits) {
  NumberFormatter f;
  f.setLocale(Locale("en_US"));
  EXPECT_EQ(f.string(1234.5678), "1235");
  f.setNumberStyle(NumberFormatter::Style::decimal);
  EXPECT_EQ(f.string(1234.5678), "1,234.568");
  f.setMinimumFractionDigits(2);
  f.setNumberStyle(NumberFormatter::Style::none);
  EXPECT_EQ(f.string(1234.5678), "1235");
}

TEST(NumberFormatterStyle, DigitLimitsStayOrderedAndInRange) {
  auto f = decimal("en_US", true, 2, 2);
  f.setMinimumFractionDigits(4);                               // raises the maximum with it
  EXPECT_EQ(NumberFormatter(f).string(1234.5), "1,234.5000");  // a copy keeps every setting
  f.setMaximumFractionDigits(1);                               // lowers the minimum with it
  EXPECT_EQ(f.string(5.25), "5.2");
  EXPECT_EQ(f.string(5), "5.0");
  f.setMaximumFractionDigits(-3);
  EXPECT_EQ(f.string(5.5), "6");
  f.setMinimumFractionDigits(1'000'000);
  EXPECT_EQ(f.string(1).value_or("").size(), 2u + 340);  // "1." and at most 340 digits
}

TEST(NumberFormatterLocale, FollowsTheCurrentLocaleUntilOneIsSet) {
  NumberFormatter f;
  f.setNumberStyle(NumberFormatter::Style::decimal);
  Locale::setCurrent(Locale("de_DE"));
  EXPECT_EQ(f.string(1234.5), "1.234,5");
  Locale::setCurrent(Locale("en_US"));
  EXPECT_EQ(f.string(1234.5), "1,234.5");
  f.setLocale(Locale("de_DE"));
  EXPECT_EQ(f.string(1234.5), "1.234,5");
  Locale::setCurrent(std::nullopt);
}

TEST(NumberFormatterThreads, OneFormatterServesManyThreads) {
  const auto shared = decimal("en_US", true, 2, 2);
  std::atomic<int> mismatches = 0;
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&] {
        for (int i = 0; i < 300; ++i) mismatches += shared.string(1234.5) != "1,234.50";
      });
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
