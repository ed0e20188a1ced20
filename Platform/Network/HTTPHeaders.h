#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Header fields in order, names and values as text. A name may occur more than once (a
// response can repeat "Set-Cookie"); names compare without regard to ASCII case.
using HTTPHeaders = std::vector<std::pair<std::string, std::string>>;

// The value of the first field called `name`, if any.
[[nodiscard]] std::optional<std::string_view> headerValue(const HTTPHeaders& headers,
                                                          std::string_view name);

// Replaces the first field called `name` (keeping its place and dropping later ones of the
// same name), or appends one.
void setHeader(HTTPHeaders& headers, std::string_view name, std::string value);

// ASCII case-insensitive comparison of header names.
[[nodiscard]] bool headerNamesEqual(std::string_view a, std::string_view b);

// Why a field cannot go on the wire as given, or nothing when it can: a name that is not an
// HTTP token, or a value holding CR, LF or NUL, could split into further header lines.
[[nodiscard]] std::optional<std::string> headerFieldProblem(std::string_view name,
                                                            std::string_view value);

}  // namespace platform
