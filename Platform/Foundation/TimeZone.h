#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/Date.h"

namespace platform {

// A time zone named by an identifier the time-zone database knows ("UTC", "Asia/Kolkata",
// "America/New_York") or a fixed offset ("GMT+05:30"). A plain value; every TimeZone names
// a zone that exists, so formatters never fall back silently.
class TimeZone {
 public:
  // The zone with this identifier; std::nullopt when the database has no such zone.
  // Identifiers are matched exactly, as the database spells them. "localtime" is the C
  // library's local time (see current()).
  [[nodiscard]] static std::optional<TimeZone> fromIdentifier(std::string_view identifier);

  // "GMT", always available.
  [[nodiscard]] static TimeZone gmt();

  // The process's current zone: the one set with setCurrent, otherwise the one the system
  // gives (the TZ environment variable, then /etc/localtime). A system zone the database
  // cannot name (TZ holding a rule, or garbage) is the C library's local time: its offset,
  // fixed, when that stays the same all year ("GMT+03:30" for "<+0330>-3:30", "GMT" for
  // garbage); otherwise "localtime", whose offset at each instant is the one the C library's
  // local time has then, so a rule with summer time ("CET-1CEST,M3.5.0,M10.5.0/3") holds on
  // both sides of its switches.
  [[nodiscard]] static TimeZone current();

  // Makes `zone` the process's current zone; std::nullopt asks the system again (after TZ
  // changed, say). Formatters without a zone of their own follow it from their next call on.
  // Safe from any thread.
  static void setCurrent(std::optional<TimeZone> zone);

  [[nodiscard]] const std::string& identifier() const noexcept { return identifier_; }

  // The offset from GMT in effect at `date`, daylight saving included.
  [[nodiscard]] int secondsFromGMT(Date date) const;

  friend bool operator==(const TimeZone&, const TimeZone&) = default;

 private:
  explicit TimeZone(std::string identifier) : identifier_(std::move(identifier)) {}
  std::string identifier_;
};

namespace detail {
// Changes whenever setCurrent changed the process's zone; formatters compare it on each call
// instead of asking for the current zone every time.
[[nodiscard]] std::uint64_t currentTimeZoneGeneration() noexcept;
}  // namespace detail

}  // namespace platform
