#pragma once

#include <ostream>

#include "Platform/Graphics/Geometry.h"

// Readable values in test failures; found by argument-dependent lookup.
namespace platform {

inline void PrintTo(const Point& p, std::ostream* out) {
  *out << "(" << p.x << ", " << p.y << ")";
}

inline void PrintTo(const Rect& r, std::ostream* out) {
  *out << "(" << r.origin.x << ", " << r.origin.y << ", " << r.size.width << ", " << r.size.height
       << ")";
}

inline void PrintTo(const EdgeInsets& e, std::ostream* out) {
  *out << "{" << e.top << ", " << e.left << ", " << e.bottom << ", " << e.right << "}";
}

}  // namespace platform
