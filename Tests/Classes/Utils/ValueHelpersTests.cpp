#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "Classes/Utils/PriceFormatter.h"
#include "Classes/Utils/StringServerDate.h"
#include "Classes/Utils/URLAppend.h"
#include "Platform/Foundation/Locale.h"
#include "Platform/Foundation/TimeZone.h"
#include "Platform/Foundation/URL.h"

namespace {

using brelum::formattedPrice;

std::string seconds(std::string_view text) {
  const auto date = brelum::serverDate(text);
  if (!date) return "absent";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3f", date->timeIntervalSince1970());
  return buffer;
}

class ValueHelpersTest : public ::testing::Test {
 protected:
  static void setDevice(const char* locale, const char* zone) {
    platform::Locale::setCurrent(platform::Locale(locale));
    platform::TimeZone::setCurrent(platform::TimeZone::fromIdentifier(zone).value());
  }
  void TearDown() override {
    platform::Locale::setCurrent(std::nullopt);
    platform::TimeZone::setCurrent(std::nullopt);
  }
};

// Server dates are UTC to the millisecond whatever the device's zone and digits; no other form.
TEST_F(ValueHelpersTest, ServerDatesIgnoreTheDeviceSettings) {
  setDevice("ar_EG", "Asia/Kolkata");
  EXPECT_EQ(seconds("2024-03-05T14:07:09.123Z"), "1709647629.123");
  EXPECT_EQ(seconds("1970-01-01T00:00:00.001Z"), "0.001");
  for (const auto* text :
       {"2024-03-05T14:07:09Z", "2024-03-05T14:07:09.123+05:30", "2024-03-05T14:07:09.123Z "}) {
    EXPECT_EQ(seconds(text), "absent") << text;
  }
}

// Two fraction digits, dropped only when they are ".00"; grouped as the locale says.
TEST_F(ValueHelpersTest, PricesFollowTheDeviceLocale) {
  setDevice("en_US", "UTC");
  EXPECT_EQ(formattedPrice(5, "USD"), "5 USD");
  EXPECT_EQ(formattedPrice(1234.5, "USD"), "1,234.50 USD");
  EXPECT_EQ(formattedPrice(2.999, "USD"), "3 USD");
  setDevice("de_DE", "UTC");
  EXPECT_EQ(formattedPrice(5, "EUR"), "5,00 EUR");
}

TEST(URLAppendTest, AddsASeparatorAndKeepsTheQuery) {
  const auto base = platform::URL::make("https://cdn.brelum.io/a?v=2").value();
  EXPECT_EQ(brelum::urlByAppendingPath(base, "b c").absoluteString(),
            "https://cdn.brelum.io/a/b%20c?v=2");
  EXPECT_EQ(base.absoluteString(), "https://cdn.brelum.io/a?v=2");
}

}  // namespace
