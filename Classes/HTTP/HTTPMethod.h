#pragma once

#include <optional>
#include <string_view>

#include "Classes/Utils/RawValue.h"

namespace brelum {

// The four methods of the HTTP adapter seam. `delete_` carries a trailing underscore only
// because `delete` is a C++ keyword; its raw value is "DELETE".
enum class HTTPMethod { get, post, put, delete_ };

[[nodiscard]] std::string_view rawValue(HTTPMethod method);

// Exact and case-sensitive: "get" gives nothing.
template <>
[[nodiscard]] std::optional<HTTPMethod> fromRawValue<HTTPMethod>(std::string_view rawValue);

}  // namespace brelum
