#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "Platform/UI/LayoutAttribute.h"

namespace platform {

class LayoutConstraint;
class View;

// What the layout solver has learnt of one view during one pass, kept on the view itself so
// that a pass needs no lookup table: per axis, which of minimum, centre, maximum and size are
// known, and the constraints waiting for more to be known about this view.
struct LayoutNode {
  enum Slot : std::uint8_t { minimum, center, maximum, size };

  struct Axis {
    std::uint8_t known = 0;  // bit per slot
    std::array<double, 4> values{};

    [[nodiscard]] bool has(Slot slot) const noexcept { return known & (1u << slot); }
  };

  // One active constraint as seen from one of its views, copied beside the view so that a
  // pass reads a view's constraints without visiting each constraint object.
  struct Link {
    LayoutConstraint* constraint;
    View* other;  // null for a constant
    LayoutAttribute mine;
    LayoutAttribute theirs;
    bool mineIsFirst;
    double constant;
  };

  std::uint64_t pass = 0;    // the pass these values belong to
  std::array<Axis, 2> axes;  // horizontal, vertical
  std::vector<LayoutConstraint*> waiting;
};

}  // namespace platform
