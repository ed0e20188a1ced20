#include "Classes/Utils/JSONMap.h"

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

namespace brelum {

namespace {

// Truncates toward zero, saturating where the value has no int64 form. 2^63 is the first
// double beyond the range; -2^63 itself is representable.
std::int64_t saturatingInt64(double value) {
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (value >= kTwoTo63) return std::numeric_limits<std::int64_t>::max();
  if (value < -kTwoTo63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

}  // namespace

const nlohmann::json* JSONMap::valueAt(std::string_view key) const {
  if (!object_->is_object()) return nullptr;
  const auto& members = object_->get_ref<const nlohmann::json::object_t&>();
  const auto found = members.find(key);
  return found == members.end() ? nullptr : &found->second;
}

std::optional<JSONMap> JSONMap::objectAt(std::string_view key) const {
  const auto* value = valueAt(key);
  if (value == nullptr || !value->is_object()) return std::nullopt;
  return JSONMap(*value);
}

std::optional<std::vector<JSONMap>> JSONMap::objectsAt(std::string_view key) const {
  const auto* value = valueAt(key);
  if (value == nullptr) return std::nullopt;
  return objectsIn(*value);
}

std::optional<std::vector<JSONMap>> JSONMap::objectsIn(const nlohmann::json& value) {
  if (!value.is_array()) return std::nullopt;
  std::vector<JSONMap> elements;
  elements.reserve(value.size());
  for (const auto& element : value) {
    if (!element.is_object()) return std::nullopt;
    elements.emplace_back(element);
  }
  return elements;
}

void JSONMap::read(std::string_view key, std::optional<std::string>& field) const {
  if (const auto* value = valueAt(key); value != nullptr && value->is_string()) {
    field = value->get_ref<const std::string&>();
  }
}

void JSONMap::read(std::string_view key, std::string& field) const {
  if (const auto* value = valueAt(key); value != nullptr && value->is_string()) {
    field = value->get_ref<const std::string&>();
  }
}

void JSONMap::read(std::string_view key, double& field) const {
  const auto* value = valueAt(key);
  if (value == nullptr || !value->is_number()) return;  // booleans are not numbers here
  field = value->get<double>();
}

void JSONMap::read(std::string_view key, std::int64_t& field) const {
  const auto* value = valueAt(key);
  if (value == nullptr) return;
  switch (value->type()) {
    case nlohmann::json::value_t::number_integer:
      field = value->get<std::int64_t>();
      break;
    case nlohmann::json::value_t::number_unsigned: {
      const auto unsignedValue = value->get<std::uint64_t>();
      constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
      field = unsignedValue > kMax ? std::numeric_limits<std::int64_t>::max()
                                   : static_cast<std::int64_t>(unsignedValue);
      break;
    }
    case nlohmann::json::value_t::number_float: {
      const auto floatValue = value->get<double>();
      // A parsed document never holds NaN, but a built one could; it is no number to take.
      if (!std::isnan(floatValue)) field = saturatingInt64(floatValue);
      break;
    }
    default:
      break;
  }
}

}  // namespace brelum
