#include "Classes/HTTP/HTTPRequest.h"

namespace brelum {

std::string headerText(const nlohmann::json& value) {
  if (value.is_string()) return value.get<std::string>();
  // Numbers, booleans and anything else: their JSON text ("5", "2.5", "true").
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace brelum
