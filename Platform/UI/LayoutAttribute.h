#pragma once

namespace platform {

// An edge, centre or dimension of a view that a constraint binds. Leading and trailing are
// left and right in a left-to-right layout and the other way round in a right-to-left one;
// left and right never change.
enum class LayoutAttribute {
  left,
  right,
  top,
  bottom,
  leading,
  trailing,
  width,
  height,
  centerX,
  centerY,
};

}  // namespace platform
