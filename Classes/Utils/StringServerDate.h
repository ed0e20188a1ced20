#pragma once

#include <optional>
#include <string_view>

#include "Platform/Foundation/Date.h"

namespace brelum {

// The configuration server's timestamp text, "2024-03-05T14:07:09.123Z", as a date; nothing
// for text that does not match that form exactly (no milliseconds, a numeric offset in
// place of the "Z", out-of-range fields, anything around it).
//
// The trailing "Z" marks UTC, so the text is read as UTC whatever the device's time zone.
[[nodiscard]] std::optional<platform::Date> serverDate(std::string_view text);

}  // namespace brelum
