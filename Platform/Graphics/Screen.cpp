#include "Platform/Graphics/Screen.h"

#include <cmath>

namespace platform {

Screen& Screen::main() {
  static Screen screen;
  return screen;
}

void Screen::setScale(double scale) noexcept {
  if (std::isfinite(scale) && scale >= 1) scale_.store(scale, std::memory_order_relaxed);
}

}  // namespace platform
