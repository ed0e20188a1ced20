#pragma once

#include <optional>
#include <string>

namespace platform {

// One name=value pair of a URL's query, decoded. A name without "=" has no value, which
// is not the same as an empty value ("a" versus "a=").
struct URLQueryItem {
  std::string name;
  std::optional<std::string> value;

  friend bool operator==(const URLQueryItem&, const URLQueryItem&) = default;
};

}  // namespace platform
