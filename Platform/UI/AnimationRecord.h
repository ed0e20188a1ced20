#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <variant>

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Geometry.h"

namespace platform {

class AnimationGroup;

// The properties a view animates (its frame animates as center and bounds).
enum class AnimatableProperty { center, bounds, alpha, backgroundColor, cornerRadius };

// One property of one view moving from one value to another over a time span: what an
// animation block leaves behind for the renderer. The model already holds `to`.
struct AnimationRecord {
  using Clock = std::chrono::steady_clock;
  // Point for center, Rect for bounds, double for alpha and corner radius, Color for the
  // background colour (an absent colour animates as clear).
  using Value = std::variant<Point, Rect, double, Color>;

  AnimatableProperty property;
  Value from;
  Value to;
  Clock::time_point start;
  Clock::duration duration;
  std::shared_ptr<AnimationGroup> group;  // the block it came from

  [[nodiscard]] bool isRunning(Clock::time_point at) const { return at < start + duration; }
  // The value shown at `at`: ease in, ease out between from and to.
  [[nodiscard]] Value valueAt(Clock::time_point at) const;
};

}  // namespace platform
