#include "Platform/Foundation/TimeZone.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <utility>

#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include "Platform/Foundation/ICUTimeZone.h"

namespace platform {
namespace {

std::atomic<std::uint64_t>& generation() {
  static std::atomic<std::uint64_t> value = 1;
  return value;
}

std::string toUTF8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

}  // namespace

std::optional<TimeZone> TimeZone::fromIdentifier(std::string_view identifier) {
  auto zone = detail::makeICUTimeZone(identifier);
  if (!zone) return std::nullopt;
  icu::UnicodeString id;
  zone->getID(id);
  // ICU spells custom offsets its own way ("GMT+5:30" becomes "GMT+05:30").
  return TimeZone(toUTF8(id));
}

TimeZone TimeZone::gmt() {
  return TimeZone("GMT");
}

TimeZone TimeZone::current() {
  const auto zone = detail::defaultICUTimeZone();
  if (!zone) return gmt();
  icu::UnicodeString id;
  zone->getID(id);
  auto identifier = toUTF8(id);
  if (!detail::makeICUTimeZone(identifier)) return gmt();
  return TimeZone(std::move(identifier));
}

void TimeZone::setCurrent(std::optional<TimeZone> zone) {
  detail::setDefaultICUTimeZone(zone ? detail::makeICUTimeZone(zone->identifier()) : nullptr);
  // After the default changed, so that a formatter seeing the new count gets the new zone.
  generation().fetch_add(1, std::memory_order_release);
}

int TimeZone::secondsFromGMT(Date date) const {
  auto zone = detail::makeICUTimeZone(identifier_);
  if (!zone) return 0;
  const double millis = date.timeIntervalSince1970() * 1000.0;
  if (std::isnan(millis)) return zone->getRawOffset() / 1000;
  int32_t raw = 0;
  int32_t dst = 0;
  UErrorCode status = U_ZERO_ERROR;
  zone->getOffset(std::clamp(millis, -detail::kOffsetRangeMillis, detail::kOffsetRangeMillis),
                  false, raw, dst, status);
  if (U_FAILURE(status)) return zone->getRawOffset() / 1000;
  return (raw + dst) / 1000;
}

namespace detail {
std::uint64_t currentTimeZoneGeneration() noexcept {
  return generation().load(std::memory_order_acquire);
}
}  // namespace detail

}  // namespace platform
