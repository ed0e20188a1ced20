#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Classes/HTTP/HTTPRequest.h"

namespace brelum {

// Header fields of a response, each name as text. A name the server repeated holds its
// values joined by ", ", as HTTP allows for a field sent more than once.
using HTTPResponseHeaders = std::map<std::string, std::string>;

struct HTTPResponse {
  HTTPRequest request;  // as it was handed to the adapter
  HTTPResponseHeaders headers;
  std::optional<std::vector<std::uint8_t>> body;
  int statusCode = 0;
};

}  // namespace brelum
