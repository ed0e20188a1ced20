#pragma once

#include <cstdint>
#include <string>

#include "Classes/Utils/JSONMap.h"

namespace brelum {

// The error object a server document may carry ("error": {"code": ..., "message": ...}).
struct ErrorResponse {
  std::int64_t code = 0;
  std::string message;

  void mapping(const JSONMap& map);
};

}  // namespace brelum
