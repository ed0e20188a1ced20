#include "Classes/EventTracker/EventTrackerUser.h"

#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

namespace brelum {
namespace {

template <class Self, class Visitor>
void forEachField(Self& user, Visitor&& visit) {
  visit("user_id", user.user_id);
  visit("client_user_id", user.client_user_id);
  visit("name", user.name);
  visit("gender", user.gender);
}

}  // namespace

nlohmann::ordered_json EventTrackerUser::encode() const {
  auto object = nlohmann::ordered_json::object();
  forEachField(*this, [&](std::string_view key, const std::string& field) {
    object[std::string(key)] = field;
  });
  return object;
}

std::expected<EventTrackerUser, DecodingError> EventTrackerUser::decode(
    const nlohmann::json& object) {
  if (!object.is_object()) {
    return std::unexpected(DecodingError{
        DecodingError::Kind::typeMismatch, "",
        "Expected to decode Dictionary but found " + std::string(object.type_name()) + "."});
  }
  EventTrackerUser user;
  std::optional<DecodingError> error;
  forEachField(user, [&](std::string_view key, std::string& field) {
    if (error) return;
    const auto found = object.find(key);
    if (found == object.end()) {
      error = DecodingError{DecodingError::Kind::keyNotFound, std::string(key),
                            "No value associated with key \"" + std::string(key) + "\"."};
    } else if (found->is_null()) {
      error = DecodingError{DecodingError::Kind::valueNotFound, std::string(key),
                            "Expected String value but found null instead."};
    } else if (!found->is_string()) {
      error = DecodingError{
          DecodingError::Kind::typeMismatch, std::string(key),
          "Expected to decode String but found " + std::string(found->type_name()) + " instead."};
    } else {
      field = found->get<std::string>();
    }
  });
  if (error) return std::unexpected(std::move(*error));
  return user;
}

nlohmann::json EventTrackerUser::dictionary() const {
  auto object = nlohmann::json::object();
  forEachField(*this, [&](std::string_view key, const std::string& field) {
    object[std::string(key)] = field;
  });
  return object;
}

}  // namespace brelum
