#include "Platform/Graphics/Geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform {

bool Point::isFinite() const noexcept {
  return std::isfinite(x) && std::isfinite(y);
}

bool Size::isFinite() const noexcept {
  return std::isfinite(width) && std::isfinite(height);
}

Rect Rect::null() noexcept {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  return {kInfinity, kInfinity, 0, 0};
}

double Rect::minX() const noexcept {
  return std::min(origin.x, origin.x + size.width);
}
double Rect::midX() const noexcept {
  return origin.x + size.width / 2;
}
double Rect::maxX() const noexcept {
  return std::max(origin.x, origin.x + size.width);
}
double Rect::minY() const noexcept {
  return std::min(origin.y, origin.y + size.height);
}
double Rect::midY() const noexcept {
  return origin.y + size.height / 2;
}
double Rect::maxY() const noexcept {
  return std::max(origin.y, origin.y + size.height);
}
double Rect::width() const noexcept {
  return std::abs(size.width);
}
double Rect::height() const noexcept {
  return std::abs(size.height);
}

Rect Rect::standardized() const noexcept {
  return {minX(), minY(), width(), height()};
}

bool Rect::isNull() const noexcept {
  return std::isinf(origin.x) || std::isinf(origin.y);
}

bool Rect::isEmpty() const noexcept {
  return isNull() || size.width == 0 || size.height == 0;
}

bool Rect::isFinite() const noexcept {
  return origin.isFinite() && size.isFinite();
}

bool Rect::contains(Point p) const noexcept {
  return !isEmpty() && p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
}

Rect Rect::intersection(const Rect& other) const noexcept {
  if (isNull() || other.isNull()) return null();
  const double x0 = std::max(minX(), other.minX());
  const double y0 = std::max(minY(), other.minY());
  const double x1 = std::min(maxX(), other.maxX());
  const double y1 = std::min(maxY(), other.maxY());
  if (x1 < x0 || y1 < y0) return null();
  return {x0, y0, x1 - x0, y1 - y0};
}

Rect Rect::unionWith(const Rect& other) const noexcept {
  if (isNull()) return other.standardized();
  if (other.isNull()) return standardized();
  const double x0 = std::min(minX(), other.minX());
  const double y0 = std::min(minY(), other.minY());
  return {x0, y0, std::max(maxX(), other.maxX()) - x0, std::max(maxY(), other.maxY()) - y0};
}

Rect Rect::inset(const EdgeInsets& insets) const noexcept {
  const Rect r = standardized();
  return {r.origin.x + insets.left, r.origin.y + insets.top,
          r.size.width - insets.left - insets.right, r.size.height - insets.top - insets.bottom};
}

Rect Rect::offsetBy(double dx, double dy) const noexcept {
  return {origin.x + dx, origin.y + dy, size.width, size.height};
}

}  // namespace platform
