#pragma once

#include <string>

#include "Classes/Utils/JSONMap.h"

namespace brelum {

// One screen resource of the resources list.
struct ResourceData {
  std::string type;
  std::string screen;
  double createdAt = 0;

  void mapping(const JSONMap& map);
};

}  // namespace brelum
