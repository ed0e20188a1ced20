#include "Classes/API/Responses/ResourcesResponse.h"

namespace brelum {

void ResourcesResponse::mapping(const JSONMap& map) {
  map.read("screens", screens);
}

}  // namespace brelum
