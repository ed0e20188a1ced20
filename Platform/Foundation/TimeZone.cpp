#include "Platform/Foundation/TimeZone.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <utility>

#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace platform {
namespace {

// ICU answers an unknown identifier with this zone (offset 0) instead of failing.
constexpr std::u16string_view kUnknownZone = u"Etc/Unknown";
// Far past what any zone identifier or offset needs; keeps junk out of the database lookup.
constexpr std::size_t kMaxIdentifierLength = 128;
// Offsets are asked for within about 275,000 years of 1970; beyond that the zone database's
// date arithmetic would overflow, and the answer could not differ from the boundary's anyway.
constexpr double kOffsetRangeMillis = 8.64e15;

std::atomic<std::uint64_t>& generation() {
  static std::atomic<std::uint64_t> value = 1;
  return value;
}

std::string toUTF8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

bool isUnknown(const icu::TimeZone& zone) {
  icu::UnicodeString id;
  zone.getID(id);
  return id == icu::UnicodeString(kUnknownZone.data(), static_cast<int32_t>(kUnknownZone.size()));
}

std::unique_ptr<icu::TimeZone> makeZone(std::string_view identifier) {
  if (identifier.empty() || identifier.size() > kMaxIdentifierLength) return nullptr;
  std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(
      icu::StringPiece(identifier.data(), static_cast<int32_t>(identifier.size())))));
  if (!zone || isUnknown(*zone)) return nullptr;
  return zone;
}

// "GMT", "GMT+05:30", "GMT-03:00": a name ICU reads back as the same fixed offset.
std::string fixedOffsetIdentifier(int32_t offsetMillis) {
  const int32_t minutes = std::abs(offsetMillis) / 60'000;
  if (minutes == 0) return "GMT";
  std::string text = offsetMillis < 0 ? "GMT-" : "GMT+";
  const int32_t hours = minutes / 60;
  const int32_t rest = minutes % 60;
  text += static_cast<char>('0' + hours / 10);
  text += static_cast<char>('0' + hours % 10);
  text += ':';
  text += static_cast<char>('0' + rest / 10);
  text += static_cast<char>('0' + rest % 10);
  return text;
}

}  // namespace

std::optional<TimeZone> TimeZone::fromIdentifier(std::string_view identifier) {
  auto zone = makeZone(identifier);
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
  std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createDefault());
  if (!zone) return gmt();
  icu::UnicodeString id;
  zone->getID(id);
  auto identifier = toUTF8(id);
  if (makeZone(identifier)) return TimeZone(std::move(identifier));
  return TimeZone(fixedOffsetIdentifier(zone->getRawOffset()));
}

void TimeZone::setCurrent(std::optional<TimeZone> zone) {
  if (zone) {
    if (auto icuZone = makeZone(zone->identifier())) icu::TimeZone::adoptDefault(icuZone.release());
  } else {
    // Reads TZ and the system's zone afresh.
    if (auto* detected = icu::TimeZone::detectHostTimeZone()) icu::TimeZone::adoptDefault(detected);
  }
  // After the default changed, so that a formatter seeing the new count gets the new zone.
  generation().fetch_add(1, std::memory_order_release);
}

int TimeZone::secondsFromGMT(Date date) const {
  auto zone = makeZone(identifier_);
  if (!zone) return 0;
  const double millis = date.timeIntervalSince1970() * 1000.0;
  if (std::isnan(millis)) return zone->getRawOffset() / 1000;
  int32_t raw = 0;
  int32_t dst = 0;
  UErrorCode status = U_ZERO_ERROR;
  zone->getOffset(std::clamp(millis, -kOffsetRangeMillis, kOffsetRangeMillis), false, raw, dst,
                  status);
  if (U_FAILURE(status)) return zone->getRawOffset() / 1000;
  return (raw + dst) / 1000;
}

namespace detail {
std::uint64_t currentTimeZoneGeneration() noexcept {
  return generation().load(std::memory_order_acquire);
}
}  // namespace detail

}  // namespace platform
