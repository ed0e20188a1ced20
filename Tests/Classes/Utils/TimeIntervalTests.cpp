#include "Classes/Utils/TimeInterval.h"

#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

namespace brelum {
namespace {

TEST(TimeIntervalTest, LongValueGivesWholeMillisecondsSaturatingOutsideTheRange) {
  constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
  EXPECT_EQ(longValue(0.0), 0u);
  EXPECT_EQ(longValue(1.5), 1500u);
  // The fraction is taken as the double arithmetic gives it, not rounded.
  EXPECT_EQ(longValue(1.001), 1000u);
  // The largest double below 2^64 / 1000 still fits.
  EXPECT_EQ(longValue(18446744073709548.0), 18446744073709548000u);
  EXPECT_EQ(longValue(-0.0005), 0u);
  EXPECT_EQ(longValue(std::numeric_limits<double>::quiet_NaN()), 0u);
  EXPECT_EQ(longValue(18446744073709551616.0 / 1000.0), kMax);
  EXPECT_EQ(longValue(std::numeric_limits<double>::infinity()), kMax);
}

}  // namespace
}  // namespace brelum
