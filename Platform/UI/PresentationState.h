#pragma once

#include <optional>

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Geometry.h"

namespace platform {

// What a view shows at one moment: its model values with any running animation applied.
struct PresentationState {
  Point center;
  Rect bounds;
  double alpha = 1;
  std::optional<Color> backgroundColor;
  double cornerRadius = 0;

  // The frame these values give, in the superview's coordinates.
  [[nodiscard]] Rect frame() const {
    return {center.x - bounds.size.width / 2, center.y - bounds.size.height / 2, bounds.size.width,
            bounds.size.height};
  }
};

}  // namespace platform
