#pragma once

#include <string>

namespace platform {

// Why an item failed, in words for people: what GStreamer or the network said ("Could not
// open resource for reading.", "secureConnectionFailed: SSL certificate problem: ...").
struct MediaError {
  std::string localizedDescription;

  friend bool operator==(const MediaError&, const MediaError&) = default;
};

}  // namespace platform
