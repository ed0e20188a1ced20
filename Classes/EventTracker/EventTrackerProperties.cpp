#include "Classes/EventTracker/EventTrackerProperties.h"

#include <cmath>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

namespace brelum {
namespace {

// Every field with its key, in declaration order, so that the map, the encoder and the
// decoder cannot disagree about names or order. `Self` is the record, const or not.
template <class Self, class Visitor>
void forEachField(Self& p, Visitor&& visit) {
  visit("screen_name", p.screen_name);
  visit("error_message", p.error_message);
  visit("chat_message", p.chat_message);
  visit("show_id", p.show_id);
  visit("product_category_id", p.product_category_id);
  visit("full_screen", p.full_screen);
  visit("latency", p.latency);
  visit("clear_screen", p.clear_screen);
  visit("start_session", p.start_session);
  visit("end_session", p.end_session);
  visit("total_session_time_millisecond", p.total_session_time_millisecond);
  visit("is_keyboard_displayed", p.is_keyboard_displayed);
}

DecodingError mismatch(std::string_view key, std::string_view expected, const nlohmann::json& v) {
  return {DecodingError::Kind::typeMismatch, std::string(key),
          "Expected to decode " + std::string(expected) + " but found " +
              std::string(v.type_name()) + " instead."};
}

std::optional<DecodingError> read(std::string_view key, const nlohmann::json& v,
                                  std::optional<std::string>& field) {
  if (!v.is_string()) return mismatch(key, "String", v);
  field = v.get<std::string>();
  return std::nullopt;
}

std::optional<DecodingError> read(std::string_view key, const nlohmann::json& v,
                                  std::optional<bool>& field) {
  if (!v.is_boolean()) return mismatch(key, "Bool", v);
  field = v.get<bool>();
  return std::nullopt;
}

std::optional<DecodingError> read(std::string_view key, const nlohmann::json& v,
                                  std::optional<std::uint64_t>& field) {
  if (!v.is_number()) return mismatch(key, "UInt64", v);
  if (v.is_number_unsigned()) {
    field = v.get<std::uint64_t>();
    return std::nullopt;
  }
  if (v.is_number_integer()) {
    const auto value = v.get<std::int64_t>();
    if (value >= 0) {
      field = static_cast<std::uint64_t>(value);
      return std::nullopt;
    }
  } else {
    // 2.0 is the count 2; 2.5, -1.0 and 1e30 name no count of milliseconds.
    const auto value = v.get<double>();
    if (value >= 0 && value < 18446744073709551616.0 && std::trunc(value) == value) {
      field = static_cast<std::uint64_t>(value);
      return std::nullopt;
    }
  }
  return DecodingError{DecodingError::Kind::dataCorrupted, std::string(key),
                       "Parsed JSON number <" + v.dump() + "> does not fit in UInt64."};
}

}  // namespace

EventTrackerProperties::Dictionary EventTrackerProperties::dictionary() const {
  Dictionary result;
  forEachField(*this, [&](std::string_view key, const auto& field) {
    if (field) result.emplace(key, Value(*field));
  });
  return result;
}

nlohmann::ordered_json EventTrackerProperties::encode() const {
  auto object = nlohmann::ordered_json::object();
  forEachField(*this, [&](std::string_view key, const auto& field) {
    if (field) object[std::string(key)] = *field;
  });
  return object;
}

std::expected<EventTrackerProperties, DecodingError> EventTrackerProperties::decode(
    const nlohmann::json& object) {
  if (!object.is_object()) {
    return std::unexpected(DecodingError{
        DecodingError::Kind::typeMismatch, "",
        "Expected to decode Dictionary but found " + std::string(object.type_name()) + "."});
  }
  EventTrackerProperties result;
  std::optional<DecodingError> error;
  forEachField(result, [&](std::string_view key, auto& field) {
    if (error) return;
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return;
    error = read(key, *found, field);
  });
  if (error) return std::unexpected(std::move(*error));
  return result;
}

nlohmann::json EventTrackerProperties::json(const Dictionary& dictionary) {
  auto object = nlohmann::json::object();
  for (const auto& [key, value] : dictionary) {
    std::visit([&, &key = key](const auto& v) { object[key] = v; }, value);
  }
  return object;
}

}  // namespace brelum
