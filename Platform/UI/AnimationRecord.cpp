#include "Platform/UI/AnimationRecord.h"

#include <algorithm>
#include <type_traits>

namespace platform {
namespace {

double mix(double from, double to, double t) {
  return from + (to - from) * t;
}

Point mix(Point from, Point to, double t) {
  return {mix(from.x, to.x, t), mix(from.y, to.y, t)};
}

Rect mix(const Rect& from, const Rect& to, double t) {
  return {mix(from.origin, to.origin, t),
          Size{mix(from.size.width, to.size.width, t), mix(from.size.height, to.size.height, t)}};
}

Color mix(const Color& from, const Color& to, double t) {
  return {mix(from.red, to.red, t), mix(from.green, to.green, t), mix(from.blue, to.blue, t),
          mix(from.alpha, to.alpha, t)};
}

}  // namespace

AnimationRecord::Value AnimationRecord::valueAt(Clock::time_point at) const {
  double progress = 1;
  if (duration > Clock::duration::zero()) {
    progress = std::clamp(
        std::chrono::duration<double>(at - start) / std::chrono::duration<double>(duration), 0.0,
        1.0);
  }
  // Ease in, ease out: the curve animations take unless told otherwise.
  const double t = progress * progress * (3 - 2 * progress);
  return std::visit(
      [&](const auto& a) -> Value {
        using T = std::decay_t<decltype(a)>;
        return mix(a, std::get<T>(to), t);
      },
      from);
}

}  // namespace platform
