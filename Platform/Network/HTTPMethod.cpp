#include "Platform/Network/HTTPMethod.h"

#include <array>
#include <cstddef>

namespace platform {

namespace {

constexpr std::array<std::string_view, 9> kRawValues = {
    "OPTIONS", "GET", "HEAD", "POST", "PUT", "PATCH", "DELETE", "TRACE", "CONNECT"};

}  // namespace

std::string_view rawValue(HTTPMethod method) {
  return kRawValues.at(static_cast<std::size_t>(method));
}

template <>
std::optional<HTTPMethod> fromRawValue<HTTPMethod>(std::string_view rawValue) {
  for (std::size_t i = 0; i < kRawValues.size(); ++i) {
    if (kRawValues[i] == rawValue) return static_cast<HTTPMethod>(i);
  }
  return std::nullopt;
}

}  // namespace platform
