#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "Platform/Graphics/Image.h"

namespace platform {

class Window;

// A window's picture as it would appear on the screen, for hosts, tests and the demo to look
// at: pixels in memory or a PNG file. Works with or without a display, whether or not the
// window is shown on the desktop; the window is laid out first, and drawn at its screen
// scale with every animation at its value at `at`.
//
// Main thread only.
class Snapshot {
 public:
  using Clock = std::chrono::steady_clock;

  // Straight RGBA at the window's scale; null for a window without area.
  [[nodiscard]] static std::shared_ptr<Image> image(Window& window,
                                                    Clock::time_point at = Clock::now());

  // nullopt for a window without area, or when encoding fails.
  [[nodiscard]] static std::optional<std::vector<std::uint8_t>> pngData(
      Window& window, Clock::time_point at = Clock::now());

  // Writes the PNG to `path` whole or not at all (parent folders are made).
  [[nodiscard]] static std::expected<void, std::error_code> writePNG(
      Window& window, const std::filesystem::path& path, Clock::time_point at = Clock::now());
};

}  // namespace platform
