#pragma once

#include <string>

#include "Platform/UI/Render/Snapshot.h"

namespace platform {
class Window;
}

namespace demo {

// Writes `window`, drawn as it stands at `at`, to <temp>/brelum-demo-snapshots/<name> and
// prints the path (or why it could not). Answers whether the file was written.
bool snapshot(platform::Window& window, const std::string& name,
              platform::Snapshot::Clock::time_point at = platform::Snapshot::Clock::now());

}  // namespace demo
