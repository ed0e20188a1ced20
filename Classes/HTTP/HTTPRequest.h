#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "Classes/HTTP/HTTPMethod.h"
#include "Platform/Foundation/URL.h"

namespace brelum {

// Header fields of a request: any JSON-representable value, sent as its text (a string as
// it stands, a number as its decimal text).
using HTTPRequestHeaders = std::map<std::string, nlohmann::json>;

// One request through the HTTP adapter seam.
struct HTTPRequest {
  HTTPMethod method = HTTPMethod::get;
  platform::URL url;  // the full request URL, query included
  HTTPRequestHeaders headers;
  std::optional<std::vector<std::uint8_t>> body;

  [[nodiscard]] static HTTPRequest get(platform::URL url, HTTPRequestHeaders headers) {
    return {HTTPMethod::get, std::move(url), std::move(headers), std::nullopt};
  }

  friend bool operator==(const HTTPRequest&, const HTTPRequest&) = default;
};

// The text a header value goes out as.
[[nodiscard]] std::string headerText(const nlohmann::json& value);

}  // namespace brelum
