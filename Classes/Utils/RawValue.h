#pragma once

#include <optional>
#include <string_view>

namespace brelum {

// The case of `Enum` whose raw value is exactly `rawValue`, if any. Each enumeration with
// raw values specialises it beside its own `rawValue()`.
template <typename Enum>
[[nodiscard]] std::optional<Enum> fromRawValue(std::string_view rawValue);

}  // namespace brelum
