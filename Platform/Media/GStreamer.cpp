#include "Platform/Media/GStreamer.h"

#include <gst/gst.h>

namespace platform::detail {

const std::expected<void, std::string>& initializeGStreamer() {
  static const std::expected<void, std::string> outcome = []() -> std::expected<void, std::string> {
    GError* error = nullptr;
    if (gst_init_check(nullptr, nullptr, &error)) return {};
    std::string reason = error ? error->message : "GStreamer could not be initialised";
    g_clear_error(&error);
    return std::unexpected(std::move(reason));
  }();
  return outcome;
}

}  // namespace platform::detail
