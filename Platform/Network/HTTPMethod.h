#pragma once

#include <optional>
#include <string_view>

namespace platform {

// The nine request methods the HTTP session sends. `delete_` carries a trailing underscore
// only because `delete` is a C++ keyword; its raw value is "DELETE" like the others'.
enum class HTTPMethod { options, get, head, post, put, patch, delete_, trace, connect };

// The method's name as it goes on the request line ("GET").
[[nodiscard]] std::string_view rawValue(HTTPMethod method);

template <typename Enum>
[[nodiscard]] std::optional<Enum> fromRawValue(std::string_view rawValue);

// Exact, case-sensitive: "get" gives nothing.
template <>
[[nodiscard]] std::optional<HTTPMethod> fromRawValue<HTTPMethod>(std::string_view rawValue);

}  // namespace platform
