#pragma once

#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <string>
#include <variant>

#include <nlohmann/json_fwd.hpp>

#include "Classes/EventTracker/DecodingError.h"

namespace brelum {

// The flat attribute record an event turns into for the event data record
// (EventTracker::Event::Properties). Every field is optional and absent by default; each
// field's name is also its key in the attribute map and in JSON. A plain value.
struct EventTrackerProperties {
  // A value of the attribute map: text, flag or a count of milliseconds.
  using Value = std::variant<std::string, bool, std::uint64_t>;
  // Key to value; only the set of keys and their values mean anything, not the order.
  using Dictionary = std::map<std::string, Value, std::less<>>;

  std::optional<std::string> screen_name;
  std::optional<std::string> error_message;
  std::optional<std::string> chat_message;
  std::optional<std::string> show_id;
  std::optional<std::string> product_category_id;
  std::optional<bool> full_screen;
  std::optional<std::string> latency;
  std::optional<bool> clear_screen;
  std::optional<std::uint64_t> start_session;  // milliseconds since 1970-01-01 00:00 UTC
  std::optional<std::uint64_t> end_session;    // milliseconds since 1970-01-01 00:00 UTC
  // Singular "millisecond": the key receivers already read.
  std::optional<std::uint64_t> total_session_time_millisecond;
  std::optional<bool> is_keyboard_displayed;

  // One entry per present field.
  [[nodiscard]] Dictionary dictionary() const;

  // The present fields in declaration order, each under its name; absent ones are left out
  // (no null).
  [[nodiscard]] nlohmann::ordered_json encode() const;

  // Reads each of the twelve keys when present; a missing key or null leaves the field
  // absent and other keys are ignored. A document that is no object, a value of another
  // JSON kind, or a millisecond count that is negative, fractional or beyond 64 bits fails.
  [[nodiscard]] static std::expected<EventTrackerProperties, DecodingError> decode(
      const nlohmann::json& object);

  // An attribute map as a JSON object: strings, booleans and unsigned numbers.
  [[nodiscard]] static nlohmann::json json(const Dictionary& dictionary);

  friend bool operator==(const EventTrackerProperties&, const EventTrackerProperties&) = default;
};

}  // namespace brelum
