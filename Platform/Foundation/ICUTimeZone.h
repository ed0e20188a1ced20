#pragma once

#include <memory>
#include <string_view>

#include <unicode/timezone.h>

// ICU's zones behind TimeZone, for the formatters that work on ICU directly. Not for hosts.
namespace platform::detail {

// Offsets are asked for within about 275,000 years of 1970; beyond that ICU's date arithmetic
// would overflow, and the answer could not differ from the boundary's anyway.
inline constexpr double kOffsetRangeMillis = 8.64e15;

// The zone the time-zone database names `identifier`; null when it has none. "localtime" is
// the C library's local time.
[[nodiscard]] std::unique_ptr<icu::TimeZone> makeICUTimeZone(std::string_view identifier);

// The process's current zone (see TimeZone::current()). Every reader of ICU's default zone
// goes through here: ICU works out the host's zone by itself on first use, and when TZ holds a
// rule rather than a name ("<+0330>-3:30") it takes the zone /etc/localtime names instead;
// the first call puts the zone the C library uses in its place.
[[nodiscard]] std::unique_ptr<icu::TimeZone> defaultICUTimeZone();

// Makes `zone` the process's current zone; null asks the host again.
void setDefaultICUTimeZone(std::unique_ptr<icu::TimeZone> zone);

}  // namespace platform::detail
