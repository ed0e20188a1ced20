#pragma once

#include <optional>
#include <string>

#include "Classes/API/Responses/ErrorResponse.h"
#include "Classes/Utils/JSONMap.h"

namespace brelum {

// The answer to the end user's login.
struct LoginResponse {
  std::optional<std::string> accessToken;
  std::optional<ErrorResponse> error;

  void mapping(const JSONMap& map);
};

}  // namespace brelum
