#include "Classes/Utils/TimeInterval.h"

#include <cmath>
#include <limits>

namespace brelum {
namespace {

constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
// 2^64 / 1000: the first number of seconds whose milliseconds no longer fit.
constexpr double kLimit = 18446744073709551616.0 / 1000.0;

}  // namespace

std::uint64_t longValue(platform::TimeInterval seconds) noexcept {
  // Converting a negative, NaN or too large double to an unsigned integer is undefined.
  if (std::isnan(seconds) || seconds <= 0) return 0;
  if (seconds >= kLimit) return kMax;
  const auto whole = static_cast<std::uint64_t>(seconds);
  const auto fraction = static_cast<std::uint64_t>((seconds - static_cast<double>(whole)) * 1000.0);
  std::uint64_t millis = 0;
  if (__builtin_mul_overflow(whole, std::uint64_t{1000}, &millis) ||
      __builtin_add_overflow(millis, fraction, &millis)) {
    return kMax;
  }
  return millis;
}

}  // namespace brelum
