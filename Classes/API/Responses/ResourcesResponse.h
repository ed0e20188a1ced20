#pragma once

#include <vector>

#include "Classes/API/Responses/ResourceData.h"
#include "Classes/Utils/JSONMap.h"

namespace brelum {

// The screen resources of the app.
struct ResourcesResponse {
  std::vector<ResourceData> screens;

  void mapping(const JSONMap& map);
};

}  // namespace brelum
