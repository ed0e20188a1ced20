#pragma once

#include <cstdint>

#include "Platform/Foundation/Date.h"

namespace brelum {

// A time interval in seconds as whole milliseconds: the whole seconds times 1000 plus the
// fraction's milliseconds as the double arithmetic gives them, each truncated toward zero
// (1.5 gives 1500, 2.9999 gives 2999, 1.001 gives 1000).
//
// Named `longValue` because the member it stands for is called `long`, a C++ keyword.
//
// Every double has an answer: below zero (however little) and NaN give 0, and from
// 2^64 / 1000 seconds up (infinity included) the result saturates at the largest value, so
// a clock set before 1970 or a broken interval never produces a wrapped count.
[[nodiscard]] std::uint64_t longValue(platform::TimeInterval seconds) noexcept;

}  // namespace brelum
