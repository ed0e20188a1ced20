#include "Classes/API/Responses/ErrorResponse.h"

namespace brelum {

void ErrorResponse::mapping(const JSONMap& map) {
  map.read("code", code);
  map.read("message", message);
}

}  // namespace brelum
