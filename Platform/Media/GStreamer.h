#pragma once

#include <expected>
#include <string>

namespace platform::detail {

// Initialises GStreamer for the process on first use (from any thread); later calls answer
// the first outcome. A failure (no plugin registry could be read, say) is a reason in words:
// media then fail with it instead of stopping the process.
[[nodiscard]] const std::expected<void, std::string>& initializeGStreamer();

}  // namespace platform::detail
