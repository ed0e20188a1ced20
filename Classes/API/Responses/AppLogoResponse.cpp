#include "Classes/API/Responses/AppLogoResponse.h"

namespace brelum {

std::optional<platform::URL> AppLogoResponse::url() const {
  return platform::URL::make(urlString);
}

void AppLogoResponse::mapping(const JSONMap& map) {
  // Both capitals are part of the key the server sends.
  map.read("Loading_Logo", urlString);
}

}  // namespace brelum
