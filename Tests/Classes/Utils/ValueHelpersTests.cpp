#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "Classes/Utils/PriceFormatter.h"
#include "Classes/Utils/StringServerDate.h"
#include "Classes/Utils/URLAppend.h"
#include "Platform/Foundation/Locale.h"
#include "Platform/Foundation/TimeZone.h"
#include "Platform/Foundation/URL.h"

namespace {

// Every helper's answer as text, so that one table holds them all.
std::string seconds(std::string_view text) {
  const auto date = brelum::serverDate(text);
  if (!date) return "absent";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3f", date->timeIntervalSince1970());
  return buffer;
}

std::string price(double amount, std::string_view currency) {
  return brelum::formattedPrice(amount, currency);
}

std::string appended(std::string_view url, std::string_view path) {
  const auto base = platform::URL::make(url);
  if (!base) return "bad base";
  const auto result = brelum::urlByAppendingPath(*base, path);
  if (base->absoluteString() != url) return "receiver changed";
  return result.absoluteString();
}

struct HelperCase {
  std::string_view name;
  std::string_view locale;
  std::string_view zone;
  std::function<std::string()> run;
  std::string_view expected;
};
void PrintTo(const HelperCase& c, std::ostream* os) {
  *os << c.name << " [" << c.locale << ", " << c.zone << "]";
}

class ValueHelpers : public ::testing::TestWithParam<HelperCase> {
 protected:
  void TearDown() override {
    platform::Locale::setCurrent(std::nullopt);
    platform::TimeZone::setCurrent(std::nullopt);
  }
};

TEST_P(ValueHelpers, AnswerAsTheDeviceSettingsSay) {
  const auto& c = GetParam();
  platform::Locale::setCurrent(platform::Locale(std::string(c.locale)));
  const auto zone = platform::TimeZone::fromIdentifier(c.zone);
  ASSERT_TRUE(zone.has_value()) << c.zone;
  platform::TimeZone::setCurrent(*zone);
  EXPECT_EQ(c.run(), c.expected);
}

// 2024-03-05T14:07:09.123Z is 1709647629.123 s after 1970 wherever the device is.
constexpr std::string_view kServerTime = "2024-03-05T14:07:09.123Z";

INSTANTIATE_TEST_SUITE_P(
    ServerDate, ValueHelpers,
    ::testing::Values(HelperCase{"z_is_utc_east_of_utc", "en_US", "Asia/Kolkata",
                                 [] { return seconds(kServerTime); }, "1709647629.123"},
                      HelperCase{"device_locale_ignored", "ar_EG", "UTC",
                                 [] { return seconds("1970-01-01T00:00:00.001Z"); }, "0.001"},
                      HelperCase{"no_milliseconds", "en_US", "UTC",
                                 [] { return seconds("2024-03-05T14:07:09Z"); }, "absent"},
                      HelperCase{"numeric_offset", "en_US", "UTC",
                                 [] { return seconds("2024-03-05T14:07:09.123+05:30"); }, "absent"},
                      HelperCase{"trailing_text", "en_US", "UTC",
                                 [] { return seconds("2024-03-05T14:07:09.123Z "); }, "absent"}));

INSTANTIATE_TEST_SUITE_P(
    FormattedPrice, ValueHelpers,
    ::testing::Values(
        HelperCase{"whole", "en_US", "UTC", [] { return price(5, "USD"); }, "5 USD"},
        HelperCase{"fraction", "en_US", "UTC", [] { return price(1234.5, "USD"); }, "1,234.50 USD"},
        HelperCase{"rounds_to_whole", "en_US", "UTC", [] { return price(2.999, "USD"); }, "3 USD"},
        HelperCase{"comma_decimal_keeps_zeros", "de_DE", "UTC", [] { return price(5, "EUR"); },
                   "5,00 EUR"}));

INSTANTIATE_TEST_SUITE_P(
    URLAppend, ValueHelpers,
    ::testing::Values(HelperCase{"adds_separator", "en_US", "UTC",
                                 [] { return appended("https://cdn.brelum.io/a", "logo.png"); },
                                 "https://cdn.brelum.io/a/logo.png"},
                      HelperCase{"keeps_query", "en_US", "UTC",
                                 [] { return appended("https://cdn.brelum.io/a?v=2", "b c"); },
                                 "https://cdn.brelum.io/a/b%20c?v=2"}));

}  // namespace
