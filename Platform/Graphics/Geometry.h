#pragma once

namespace platform {

// Geometry in points, as doubles. The origin is the top left corner, y grows downwards.

struct Point {
  double x = 0;
  double y = 0;

  friend bool operator==(const Point&, const Point&) = default;
  [[nodiscard]] bool isFinite() const noexcept;
};

struct Size {
  double width = 0;
  double height = 0;

  friend bool operator==(const Size&, const Size&) = default;
  [[nodiscard]] bool isFinite() const noexcept;
};

// Distances inwards from each edge of a rectangle.
struct EdgeInsets {
  double top = 0;
  double left = 0;
  double bottom = 0;
  double right = 0;

  friend bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
};

// A rectangle as an origin and a size. A negative width or height is allowed and means the
// rectangle extends left or up from its origin; the edge accessors read it standardised.
struct Rect {
  Point origin;
  Size size;

  constexpr Rect() = default;
  constexpr Rect(Point o, Size s) : origin(o), size(s) {}
  constexpr Rect(double x, double y, double width, double height)
      : origin{x, y}, size{width, height} {}

  // The rectangle that rectangles return when they have no area in common.
  [[nodiscard]] static Rect null() noexcept;

  friend bool operator==(const Rect&, const Rect&) = default;

  [[nodiscard]] double minX() const noexcept;
  [[nodiscard]] double midX() const noexcept;
  [[nodiscard]] double maxX() const noexcept;
  [[nodiscard]] double minY() const noexcept;
  [[nodiscard]] double midY() const noexcept;
  [[nodiscard]] double maxY() const noexcept;
  [[nodiscard]] double width() const noexcept;
  [[nodiscard]] double height() const noexcept;

  // The same area with a non-negative size.
  [[nodiscard]] Rect standardized() const noexcept;
  [[nodiscard]] bool isNull() const noexcept;
  // Null, or no area.
  [[nodiscard]] bool isEmpty() const noexcept;
  [[nodiscard]] bool isFinite() const noexcept;
  // Minimum edges inclusive, maximum edges exclusive.
  [[nodiscard]] bool contains(Point p) const noexcept;
  [[nodiscard]] Rect intersection(const Rect& other) const noexcept;
  // The smallest rectangle holding both; a null rectangle adds nothing.
  [[nodiscard]] Rect unionWith(const Rect& other) const noexcept;
  [[nodiscard]] Rect inset(const EdgeInsets& insets) const noexcept;
  [[nodiscard]] Rect offsetBy(double dx, double dy) const noexcept;
};

}  // namespace platform
