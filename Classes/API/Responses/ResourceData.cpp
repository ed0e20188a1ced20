#include "Classes/API/Responses/ResourceData.h"

namespace brelum {

void ResourceData::mapping(const JSONMap& map) {
  map.read("resource_type", type);
  map.read("screen", screen);
  map.read("created_at", createdAt);
}

}  // namespace brelum
