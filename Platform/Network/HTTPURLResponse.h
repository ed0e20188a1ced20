#pragma once

#include <string>

#include "Platform/Network/HTTPHeaders.h"

namespace platform {

// The status line and header block of the final response of an exchange (after any
// redirects the session followed).
struct HTTPURLResponse {
  int statusCode = 0;
  HTTPHeaders headers;  // as received, in order, names as the server wrote them
  std::string url;      // the URL that answered
};

}  // namespace platform
