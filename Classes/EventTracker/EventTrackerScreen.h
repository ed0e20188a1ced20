#pragma once

#include <expected>
#include <optional>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "Classes/EventTracker/DecodingError.h"
#include "Classes/Utils/RawValue.h"

namespace brelum {

// The screens a "load a screen" event names (EventTracker::Event::Screen). The enumerators
// keep the event vocabulary's spelling, `product_details` included.
enum class EventTrackerScreen { loading, standby, live, product_details, error };

// "Loading", "Standby", "Live", "Product Details", "Error".
[[nodiscard]] std::string_view rawValue(EventTrackerScreen screen);

// Exact and case-sensitive: "product details" and "Live " give nothing.
template <>
[[nodiscard]] std::optional<EventTrackerScreen> fromRawValue<EventTrackerScreen>(
    std::string_view rawValue);

// A screen is coded as its raw value: a JSON string holding one of the five texts.
[[nodiscard]] std::expected<EventTrackerScreen, DecodingError> decodeScreen(
    const nlohmann::json& value);

}  // namespace brelum
