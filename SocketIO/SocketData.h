#pragma once

#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

namespace socketio {

// One data item of an event or an acknowledgement: any JSON value. Binary data, at the top
// or nested anywhere inside, is a JSON binary value (SocketData::binary(bytes)); it travels
// as a Socket.IO attachment and arrives as one again.
using SocketData = nlohmann::json;
using SocketBytes = std::vector<std::uint8_t>;

[[nodiscard]] inline SocketData binaryItem(SocketBytes bytes) {
  return SocketData::binary(std::move(bytes));
}

// A data item as `T`, when it is one: strings as std::string; numbers as floating-point
// types; integers, and floating-point numbers with an integral value, as integer types when
// in range; booleans as bool (numbers are not booleans, nor booleans numbers); binary as
// SocketBytes; objects and arrays as their nlohmann types; SocketData as itself.
template <typename T>
[[nodiscard]] std::optional<T> itemAs(const SocketData& item) {
  if constexpr (std::same_as<T, SocketData>) {
    return item;
  } else if constexpr (std::same_as<T, bool>) {
    if (item.is_boolean()) return item.get<bool>();
    return std::nullopt;
  } else if constexpr (std::same_as<T, std::string>) {
    if (item.is_string()) return item.get_ref<const std::string&>();
    return std::nullopt;
  } else if constexpr (std::floating_point<T>) {
    if (item.is_number()) return item.get<T>();
    return std::nullopt;
  } else if constexpr (std::integral<T>) {
    if (item.is_number_unsigned()) {
      const auto value = item.get<std::uint64_t>();
      if (value > static_cast<std::uint64_t>(std::numeric_limits<T>::max())) return std::nullopt;
      return static_cast<T>(value);
    }
    if (item.is_number_integer()) {
      const auto value = item.get<std::int64_t>();
      if (!std::in_range<T>(value)) return std::nullopt;
      return static_cast<T>(value);
    }
    if (item.is_number_float()) {
      const double value = item.get<double>();
      // Exactly representable bounds: the smallest value is a power of two, and one past the
      // largest is one as well.
      const double low = static_cast<double>(std::numeric_limits<T>::min());
      const double high = 2.0 * static_cast<double>(std::numeric_limits<T>::max() / 2 + 1);
      if (!std::isfinite(value) || std::trunc(value) != value || value < low || value >= high) {
        return std::nullopt;
      }
      return static_cast<T>(value);
    }
    return std::nullopt;
  } else if constexpr (std::same_as<T, SocketBytes>) {
    if (item.is_binary()) return static_cast<const SocketBytes&>(item.get_binary());
    return std::nullopt;
  } else if constexpr (std::same_as<T, SocketData::object_t>) {
    if (item.is_object()) return item.get_ref<const SocketData::object_t&>();
    return std::nullopt;
  } else if constexpr (std::same_as<T, SocketData::array_t>) {
    if (item.is_array()) return item.get_ref<const SocketData::array_t&>();
    return std::nullopt;
  } else {
    static_assert(sizeof(T) == 0, "no Socket.IO data item converts to this type");
  }
}

}  // namespace socketio
