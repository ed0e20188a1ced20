#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Classes/HTTP/HTTPRequest.h"
#include "Classes/HTTP/HTTPResponse.h"

namespace brelum {

// A failed exchange through the HTTP adapter seam.
struct HTTPError {
  // -1000 marks an exchange that got no HTTP response at all (no connection, time-out).
  static constexpr int kNoResponseStatusCode = -1000;

  HTTPRequest request;          // as it was handed to the adapter
  HTTPResponseHeaders headers;  // empty when no HTTP response arrived
  std::optional<std::vector<std::uint8_t>> body;
  int statusCode = kNoResponseStatusCode;
  std::string description;
};

}  // namespace brelum
