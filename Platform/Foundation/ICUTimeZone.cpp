#include "Platform/Foundation/ICUTimeZone.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

#include <unicode/unistr.h>

namespace platform::detail {
namespace {

// ICU answers an unknown identifier with this zone (offset 0) instead of failing.
constexpr std::u16string_view kUnknownZone = u"Etc/Unknown";
// Far past what any zone identifier or offset needs; keeps junk out of the database lookup.
constexpr std::size_t kMaxIdentifierLength = 128;

bool isUnknown(const icu::TimeZone& zone) {
  icu::UnicodeString id;
  zone.getID(id);
  return id == icu::UnicodeString(kUnknownZone.data(), static_cast<int32_t>(kUnknownZone.size()));
}

bool isNamed(const icu::TimeZone& zone) {
  icu::UnicodeString id;
  zone.getID(id);
  std::string text;
  id.toUTF8String(text);
  return makeICUTimeZone(text) != nullptr;
}

// "GMT", "GMT+05:30", "GMT-03:00": a name ICU reads back as the same fixed offset.
std::string fixedOffsetIdentifier(std::int32_t offsetMillis) {
  const std::int32_t minutes = std::abs(offsetMillis) / 60'000;
  if (minutes == 0) return "GMT";
  std::string text = offsetMillis < 0 ? "GMT-" : "GMT+";
  const std::int32_t hours = minutes / 60;
  const std::int32_t rest = minutes % 60;
  text += static_cast<char>('0' + hours / 10);
  text += static_cast<char>('0' + hours % 10);
  text += ':';
  text += static_cast<char>('0' + rest / 10);
  text += static_cast<char>('0' + rest % 10);
  return text;
}

std::int32_t offsetAt(const icu::TimeZone& zone, std::time_t time) {
  std::int32_t raw = 0;
  std::int32_t dst = 0;
  UErrorCode status = U_ZERO_ERROR;
  zone.getOffset(static_cast<UDate>(time) * 1000.0, false, raw, dst, status);
  return U_SUCCESS(status) ? raw + dst : zone.getRawOffset();
}

// The zone ICU detects when it is the one the C library's local time is in; otherwise (a
// rule in TZ that ICU cannot name, say) the C library's present offset, fixed.
std::unique_ptr<icu::TimeZone> hostZone() {
  std::unique_ptr<icu::TimeZone> detected(icu::TimeZone::detectHostTimeZone());
  tzset();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return detected;
  const auto offset = static_cast<std::int32_t>(local.tm_gmtoff * 1000);
  if (detected && isNamed(*detected) && offsetAt(*detected, now) == offset) return detected;
  return makeICUTimeZone(fixedOffsetIdentifier(offset));
}

void adoptHostZoneOnce() {
  [[maybe_unused]] static const bool adopted = [] {
    if (auto zone = hostZone()) icu::TimeZone::adoptDefault(zone.release());
    return true;
  }();
}

}  // namespace

std::unique_ptr<icu::TimeZone> makeICUTimeZone(std::string_view identifier) {
  if (identifier.empty() || identifier.size() > kMaxIdentifierLength) return nullptr;
  std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(
      icu::StringPiece(identifier.data(), static_cast<int32_t>(identifier.size())))));
  if (!zone || isUnknown(*zone)) return nullptr;
  return zone;
}

std::unique_ptr<icu::TimeZone> defaultICUTimeZone() {
  adoptHostZoneOnce();
  return std::unique_ptr<icu::TimeZone>(icu::TimeZone::createDefault());
}

void setDefaultICUTimeZone(std::unique_ptr<icu::TimeZone> zone) {
  // First, so that the first reader cannot put the host's zone over this one.
  adoptHostZoneOnce();
  if (!zone) zone = hostZone();
  if (zone) icu::TimeZone::adoptDefault(zone.release());
}

}  // namespace platform::detail
