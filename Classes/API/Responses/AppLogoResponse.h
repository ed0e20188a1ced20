#pragma once

#include <optional>
#include <string>

#include "Classes/Utils/JSONMap.h"
#include "Platform/Foundation/URL.h"

namespace brelum {

// Where the app's loading logo is.
struct AppLogoResponse {
  std::string urlString;

  // `urlString` read as a URL; nothing when it is empty or no valid URL reference.
  [[nodiscard]] std::optional<platform::URL> url() const;

  void mapping(const JSONMap& map);
};

}  // namespace brelum
