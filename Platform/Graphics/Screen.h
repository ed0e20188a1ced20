#pragma once

#include <atomic>

namespace platform {

// The display the interface appears on. The desktop window sets its scale from the monitor;
// hosts and tests may set it too. Readable from any thread (image contexts draw anywhere).
class Screen {
 public:
  [[nodiscard]] static Screen& main();

  // Pixels per point, at least 1.
  [[nodiscard]] double scale() const noexcept { return scale_.load(std::memory_order_relaxed); }
  // Values below 1 or not finite are refused.
  void setScale(double scale) noexcept;

 private:
  Screen() = default;
  std::atomic<double> scale_ = 1;
};

}  // namespace platform
