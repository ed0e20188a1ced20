#include "Classes/Utils/TimeInterval.h"

#include <cstdint>
#include <limits>
#include <ostream>
#include <string_view>

#include <gtest/gtest.h>

namespace brelum {
namespace {

constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct LongCase {
  std::string_view name;
  double seconds;
  std::uint64_t millis;
};

void PrintTo(const LongCase& c, std::ostream* os) {
  *os << c.name;
}

class LongValue : public ::testing::TestWithParam<LongCase> {};

TEST_P(LongValue, GivesWholeMilliseconds) {
  EXPECT_EQ(longValue(GetParam().seconds), GetParam().millis);
}

INSTANTIATE_TEST_SUITE_P(
    Seconds, LongValue,
    ::testing::Values(LongCase{"Zero", 0.0, 0}, LongCase{"OneAndAHalf", 1.5, 1500},
                      // The fraction is taken as the double arithmetic gives it, not rounded.
                      LongCase{"FractionJustBelowOneMillisecond", 1.001, 1000},
                      // The largest double below 2^64 / 1000 still fits.
                      LongCase{"LargestInRange", 18446744073709548.0, 18446744073709548000u},
                      // Out of the domain: saturating at either end.
                      LongCase{"JustBelowZero", -0.0005, 0},
                      LongCase{"NaN", std::numeric_limits<double>::quiet_NaN(), 0},
                      LongCase{"FirstTooLarge", 18446744073709551616.0 / 1000.0, kMax},
                      LongCase{"Infinity", kInfinity, kMax}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brelum
