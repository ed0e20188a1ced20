#pragma once

namespace platform {

// Whether a player (and its current item) can play: unknown until the media has been
// opened and its first picture decoded, then readyToPlay, or failed for good.
enum class PlayerStatus { unknown = 0, readyToPlay = 1, failed = 2 };

[[nodiscard]] constexpr int rawValue(PlayerStatus status) {
  return static_cast<int>(status);
}

}  // namespace platform
