#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

namespace socketio::detail {

// Deeper values are refused when read and when written. No Socket.IO exchange comes near
// it, and it keeps hostile input from costing unbounded stack in anything that walks,
// copies or prints the tree.
inline constexpr std::size_t kMaxJSONDepth = 512;

// One JSON value from server text: nothing when the text is not UTF-8, not exactly one JSON
// value, or nested deeper than kMaxJSONDepth.
[[nodiscard]] std::optional<nlohmann::json> parseJSONText(std::string_view text);

}  // namespace socketio::detail
