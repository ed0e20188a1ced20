#include "Classes/API/Responses/LoginResponse.h"

namespace brelum {

void LoginResponse::mapping(const JSONMap& map) {
  map.read("access_token", accessToken);
  map.read("error", error);
}

}  // namespace brelum
