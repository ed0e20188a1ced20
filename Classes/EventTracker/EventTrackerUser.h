#pragma once

#include <expected>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "Classes/EventTracker/DecodingError.h"

namespace brelum {

// The end user as events report them (EventTracker::Data::User). A plain value; the field
// names are also the keys.
struct EventTrackerUser {
  std::string user_id;
  std::string client_user_id;  // the host's own id for the user
  std::string name;
  std::string gender;

  // The four fields in order, each under its name.
  [[nodiscard]] nlohmann::ordered_json encode() const;
  // All four keys are required and must hold strings; other keys are ignored.
  [[nodiscard]] static std::expected<EventTrackerUser, DecodingError> decode(
      const nlohmann::json& object);

  // Four string entries, as encode() writes them.
  [[nodiscard]] nlohmann::json dictionary() const;

  friend bool operator==(const EventTrackerUser&, const EventTrackerUser&) = default;
};

}  // namespace brelum
