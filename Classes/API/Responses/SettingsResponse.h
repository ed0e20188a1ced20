#pragma once

#include <optional>
#include <string>

#include "Classes/Utils/JSONMap.h"

namespace brelum {

// The app's settings: where client events go and the text shared by the host app.
struct SettingsResponse {
  std::optional<std::string> trackingURLString;
  std::optional<std::string> sharingMessage;

  void mapping(const JSONMap& map);
};

}  // namespace brelum
