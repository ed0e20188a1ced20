#include "Platform/Network/HTTPHeaders.h"

#include <algorithm>

#include "Platform/Foundation/ASCII.h"

namespace platform {

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
