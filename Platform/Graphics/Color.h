#pragma once

namespace platform {

// A colour as red, green, blue and alpha fractions. Components are kept as given, even
// outside 0...1 (a host may compute 510 / 255); drawing clamps them.
struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;

  friend bool operator==(const Color&, const Color&) = default;

  [[nodiscard]] static constexpr Color black() { return {0, 0, 0, 1}; }
  [[nodiscard]] static constexpr Color white() { return {1, 1, 1, 1}; }
  [[nodiscard]] static constexpr Color clear() { return {0, 0, 0, 0}; }
  [[nodiscard]] static constexpr Color gray() { return {0.5, 0.5, 0.5, 1}; }
  // The tint of a view tree that sets none.
  [[nodiscard]] static constexpr Color systemBlue() { return {0, 122.0 / 255, 1, 1}; }
};

}  // namespace platform
