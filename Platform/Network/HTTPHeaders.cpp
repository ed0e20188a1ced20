#include "Platform/Network/HTTPHeaders.h"

#include <algorithm>

#include "Platform/Foundation/ASCII.h"

namespace platform {

namespace {

bool isTokenChar(char c) {
  static constexpr std::string_view kSymbols = "!#$%&'*+-.^_`|~";
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         kSymbols.find(c) != std::string_view::npos;
}

}  // namespace

std::optional<std::string> headerFieldProblem(std::string_view name, std::string_view value) {
  if (name.empty() || !std::ranges::all_of(name, isTokenChar)) {
    return "\"" + std::string(name) + "\" is not a header name";
  }
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    return "the value of \"" + std::string(name) + "\" holds a line break or NUL";
  }
  return std::nullopt;
}

bool headerNamesEqual(std::string_view a, std::string_view b) {
  return asciiCaseInsensitiveEqual(a, b);
}

std::optional<std::string_view> headerValue(const HTTPHeaders& headers, std::string_view name) {
  for (const auto& [fieldName, value] : headers) {
    if (headerNamesEqual(fieldName, name)) return std::string_view(value);
  }
  return std::nullopt;
}

void setHeader(HTTPHeaders& headers, std::string_view name, std::string value) {
  auto first = std::ranges::find_if(
      headers, [&](const auto& field) { return headerNamesEqual(field.first, name); });
  if (first == headers.end()) {
    headers.emplace_back(std::string(name), std::move(value));
    return;
  }
  first->second = std::move(value);
  auto rest = std::remove_if(std::next(first), headers.end(), [&](const auto& field) {
    return headerNamesEqual(field.first, name);
  });
  headers.erase(rest, headers.end());
}

}  // namespace platform
