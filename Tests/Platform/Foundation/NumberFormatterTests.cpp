#include "Platform/Foundation/NumberFormatter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
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

struct NumberCase {
  std::string_view locale;
  bool grouping;
  int minimum, maximum;
  double value;
  std::string_view expected;
};
void PrintTo(const NumberCase& c, std::ostream* os) {
  *os << c.locale << (c.grouping ? " grouped " : " ") << c.minimum << "..." << c.maximum << " "
      << c.value;
}
class DecimalFormatting : public ::testing::TestWithParam<NumberCase> {};

TEST_P(DecimalFormatting, WritesTheLocalesDigitsAndSeparators) {
  const auto& c = GetParam();
  EXPECT_EQ(decimal(c.locale, c.grouping, c.minimum, c.maximum).string(c.value), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Locales, DecimalFormatting,
                         ::testing::Values(NumberCase{"en_US", true, 2, 2, 1234.5, "1,234.50"},
                                           NumberCase{"en_US", false, 2, 2, 1234.5, "1234.50"},
                                           NumberCase{"de_DE", true, 2, 2, 1234.5, "1.234,50"},
                                           NumberCase{"en_US_POSIX", true, 2, 2, 1234.5,
                                                      "1234.50"}));

INSTANTIATE_TEST_SUITE_P(Rounding, DecimalFormatting,
                         ::testing::Values(NumberCase{"en_US", true, 0, 2, 0.125,
                                                      "0.12"},  // half to even
                                           NumberCase{"en_US", true, 0, 0, 2.5, "2"},
                                           NumberCase{"en_US", true, 2, 2, 0.004, "0.00"}));

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
  f.setMinimumFractionDigits(4);  // raises the maximum with it
  EXPECT_EQ(f.string(5), "5.0000");
  f.setMaximumFractionDigits(1);  // lowers the minimum with it
  EXPECT_EQ(f.string(5.25), "5.2");
  EXPECT_EQ(f.string(5), "5.0");
  f.setMaximumFractionDigits(-3);
  EXPECT_EQ(f.string(5.5), "6");
  f.setMinimumFractionDigits(1'000'000);
  const auto text = f.string(1);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->size(), 2u + NumberFormatter::kMaxFractionDigits);
}

TEST(NumberFormatterStyle, ValuesWithoutDigitsStillGiveAnAnswer) {
  for (auto locale : {"en_US", "de_DE", "en_US_POSIX", "ar_EG"}) {
    auto f = decimal(locale, true, 2, 2);
    for (double value :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::max(),
          std::numeric_limits<double>::denorm_min(), -0.0}) {
      const auto text = f.string(value);
      if (text) {
        EXPECT_FALSE(text->empty()) << locale << " " << value;
      }
    }
  }
  EXPECT_EQ(decimal("en_US", true, 2, 2).string(std::numeric_limits<double>::infinity()), "∞");
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
  std::vector<int> mismatches(8, 0);
  {
    std::vector<std::jthread> threads;
    for (std::size_t t = 0; t < mismatches.size(); ++t) {
      threads.emplace_back([&, t] {
        auto own = decimal(t % 2 ? "de_DE" : "en_US", true, 2, 2);
        const std::string expected = t % 2 ? "1.234,50" : "1,234.50";
        for (int i = 0; i < 300; ++i) {
          if (shared.string(1234.5) != "1,234.50" || own.string(1234.5) != expected) {
            ++mismatches[t];
          }
        }
      });
    }
  }
  for (std::size_t t = 0; t < mismatches.size(); ++t) EXPECT_EQ(mismatches[t], 0) << t;
}

}  // namespace
