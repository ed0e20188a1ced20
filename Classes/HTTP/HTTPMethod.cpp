#include "Classes/HTTP/HTTPMethod.h"

#include <array>
#include <utility>

namespace brelum {
namespace {

constexpr std::array<std::pair<HTTPMethod, std::string_view>, 4> kRawValues{{
    {HTTPMethod::get, "GET"},
    {HTTPMethod::post, "POST"},
    {HTTPMethod::put, "PUT"},
    {HTTPMethod::delete_, "DELETE"},
}};

}  // namespace

std::string_view rawValue(HTTPMethod method) {
  return kRawValues.at(static_cast<std::size_t>(method)).second;
}

template <>
std::optional<HTTPMethod> fromRawValue<HTTPMethod>(std::string_view rawValue) {
  for (const auto& [method, text] : kRawValues) {
    if (text == rawValue) return method;
  }
  return std::nullopt;
}

}  // namespace brelum
