#include "Platform/Foundation/Date.h"

#include <gtest/gtest.h>

#include <chrono>

using platform::Date;

namespace {

double secondsSince1970(std::chrono::system_clock::time_point t) {
  return std::chrono::duration<double>(t.time_since_epoch()).count();
}

TEST(DateTest, NowIsTheWallClockBelowMillisecondResolution) {
  const auto before = std::chrono::system_clock::now();
  const auto now = Date::now();
  const auto after = std::chrono::system_clock::now();
  // A double near 1.8e9 resolves about 0.24 us; allow for that rounding only.
  constexpr double kRounding = 1e-6;
  EXPECT_GE(now.timeIntervalSince1970(), secondsSince1970(before) - kRounding);
  EXPECT_LE(now.timeIntervalSince1970(), secondsSince1970(after) + kRounding);
}

}  // namespace
