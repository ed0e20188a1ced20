#include "Classes/EventTracker/EventTrackerScreen.h"

#include <array>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

namespace brelum {
namespace {

constexpr std::array<std::pair<EventTrackerScreen, std::string_view>, 5> kRawValues{{
    {EventTrackerScreen::loading, "Loading"},
    {EventTrackerScreen::standby, "Standby"},
    {EventTrackerScreen::live, "Live"},
    {EventTrackerScreen::product_details, "Product Details"},
    {EventTrackerScreen::error, "Error"},
}};

}  // namespace

std::string_view rawValue(EventTrackerScreen screen) {
  for (const auto& [candidate, text] : kRawValues) {
    if (candidate == screen) return text;
  }
  return {};
}

template <>
std::optional<EventTrackerScreen> fromRawValue<EventTrackerScreen>(std::string_view rawValue) {
  for (const auto& [screen, text] : kRawValues) {
    if (text == rawValue) return screen;
  }
  return std::nullopt;
}

std::expected<EventTrackerScreen, DecodingError> decodeScreen(const nlohmann::json& value) {
  if (!value.is_string()) {
    return std::unexpected(
        DecodingError{DecodingError::Kind::typeMismatch, "",
                      "Expected a screen name, found " + std::string(value.type_name()) + "."});
  }
  const auto& text = value.get_ref<const std::string&>();
  if (auto screen = fromRawValue<EventTrackerScreen>(text)) return *screen;
  return std::unexpected(
      DecodingError{DecodingError::Kind::dataCorrupted, "",
                    "Cannot initialize Screen from invalid String value " + text + "."});
}

}  // namespace brelum
