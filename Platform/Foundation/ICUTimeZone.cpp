#include "Platform/Foundation/ICUTimeZone.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include <unicode/unistr.h>

namespace platform::detail {
namespace {

// ICU answers an unknown identifier with this zone (offset 0) instead of failing.
constexpr std::u16string_view kUnknownZone = u"Etc/Unknown";
// Far past what any zone identifier or offset needs; keeps junk out of the database lookup.
constexpr std::size_t kMaxIdentifierLength = 128;
// The identifier of the C library's local time, for a host zone the database has no name for.
constexpr std::string_view kCLibraryZone = "localtime";

constexpr double kMillisPerDay = 86'400'000.0;
// The C library tells whether summer time is in force, not by how much; it is an hour in
// every zone that keeps it but two (Lord Howe, Troll). Only the split between the standard
// and the summer part rests on this; the whole offset is always the C library's.
constexpr std::int32_t kSummerTimeMillis = 3'600'000;
// A named zone stands for the host's when it agrees with the C library on every day of the
// coming year, so that each switch to and from summer time falls between two samples.
constexpr int kDaysCompared = 366;

struct LocalOffset {
  std::int32_t millis;
  bool summerTime;
};

// The C library's local time at the instant `utcMillis`; nothing when it cannot tell. Clamped
// like every offset asked for, which also keeps the conversion to time_t defined.
std::optional<LocalOffset> localOffsetAt(double utcMillis) {
  if (std::isnan(utcMillis)) return std::nullopt;
  const auto seconds = static_cast<std::time_t>(
      std::floor(std::clamp(utcMillis, -kOffsetRangeMillis, kOffsetRangeMillis) / 1000.0));
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return std::nullopt;
  return LocalOffset{static_cast<std::int32_t>(local.tm_gmtoff * 1000), local.tm_isdst > 0};
}

// The offset in force at the local wall time `wallMillis`. A wall time the clocks pass twice
// takes the later offset and one they skip the earlier, as the database's zones answer.
std::optional<LocalOffset> localOffsetAtWallTime(double wallMillis) {
  // No zone switches twice within two days, so one of these two offsets holds.
  const auto before = localOffsetAt(wallMillis - kMillisPerDay);
  const auto after = localOffsetAt(wallMillis + kMillisPerDay);
  if (!before || !after) return std::nullopt;
  const auto atAfter = localOffsetAt(wallMillis - after->millis);
  return atAfter && atAfter->millis == after->millis ? after : before;
}

// The C library's local time as an ICU zone: the offset of each instant is the one
// localtime_r gives for it, so a rule with summer time in TZ ("CET-1CEST,M3.5.0,M10.5.0/3")
// holds across its switches, which no fixed offset does. It follows TZ as the C library does:
// after TZ changes, from the C library's next tzset on.
class CLibraryTimeZone final : public icu::TimeZone {
 public:
  CLibraryTimeZone()
      : icu::TimeZone(icu::UnicodeString::fromUTF8(
            icu::StringPiece(kCLibraryZone.data(), static_cast<int32_t>(kCLibraryZone.size())))) {}

  static UClassID getStaticClassID() {
    static char id = 0;
    return &id;
  }
  UClassID getDynamicClassID() const override { return getStaticClassID(); }
  icu::TimeZone* clone() const override { return new CLibraryTimeZone(*this); }

  void getOffset(UDate date, UBool local, int32_t& rawOffset, int32_t& dstOffset,
                 UErrorCode& status) const override {
    if (U_FAILURE(status)) return;
    const auto offset = local ? localOffsetAtWallTime(date) : localOffsetAt(date);
    if (!offset) {
      status = U_ILLEGAL_ARGUMENT_ERROR;
      return;
    }
    dstOffset = offset->summerTime ? kSummerTimeMillis : 0;
    rawOffset = offset->millis - dstOffset;
  }

  // The offset at a local wall time given by fields: era 0 counts years before the common
  // era, months from 0. Dates outside the calendar's years (+-32767) are refused.
  int32_t getOffset(uint8_t era, int32_t year, int32_t month, int32_t day, uint8_t, int32_t millis,
                    UErrorCode& status) const override {
    if (U_FAILURE(status)) return 0;
    if (year < -32766 || year > 32767 || month < 0 || month > 11 || day < 1 || day > 31) {
      status = U_ILLEGAL_ARGUMENT_ERROR;
      return 0;
    }
    const std::chrono::year_month_day date{std::chrono::year(era == 0 ? 1 - year : year),
                                           std::chrono::month(static_cast<unsigned>(month + 1)),
                                           std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok()) {
      status = U_ILLEGAL_ARGUMENT_ERROR;
      return 0;
    }
    const double days = std::chrono::sys_days(date).time_since_epoch().count();
    int32_t raw = 0;
    int32_t dst = 0;
    getOffset(days * kMillisPerDay + millis, true, raw, dst, status);
    return raw + dst;
  }

  int32_t getOffset(uint8_t era, int32_t year, int32_t month, int32_t day, uint8_t dayOfWeek,
                    int32_t millis, int32_t, UErrorCode& status) const override {
    return getOffset(era, year, month, day, dayOfWeek, millis, status);
  }

  // The C library's rule is not ours to change.
  void setRawOffset(int32_t) override {}

  int32_t getRawOffset() const override {
    int32_t raw = 0;
    int32_t dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    getOffset(static_cast<UDate>(std::time(nullptr)) * 1000.0, false, raw, dst, status);
    return raw;
  }

  // Whether summer time is in force at some point of the coming year, looked at monthly:
  // summer time lasts months where it is kept.
  UBool useDaylightTime() const override {
    const double now = static_cast<double>(std::time(nullptr)) * 1000.0;
    for (int month = 0; month < 12; ++month) {
      const auto offset = localOffsetAt(now + month * 30 * kMillisPerDay);
      if (offset && offset->summerTime) return true;
    }
    return false;
  }

  UBool inDaylightTime(UDate date, UErrorCode& status) const override {
    int32_t raw = 0;
    int32_t dst = 0;
    getOffset(date, false, raw, dst, status);
    return U_SUCCESS(status) && dst != 0;
  }

  UBool hasSameRules(const icu::TimeZone& other) const override {
    return other.getDynamicClassID() == getStaticClassID();
  }
};

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

std::int32_t offsetAt(const icu::TimeZone& zone, double utcMillis) {
  std::int32_t raw = 0;
  std::int32_t dst = 0;
  UErrorCode status = U_ZERO_ERROR;
  zone.getOffset(utcMillis, false, raw, dst, status);
  return U_SUCCESS(status) ? raw + dst : zone.getRawOffset();
}

// The zone ICU detects when it is the one the C library's local time is in over the coming
// year. Otherwise (a rule in TZ that the database cannot name, say) the C library's offset,
// fixed, when it keeps one all year; else the C library's local time itself.
std::unique_ptr<icu::TimeZone> hostZone() {
  std::unique_ptr<icu::TimeZone> detected(icu::TimeZone::detectHostTimeZone());
  tzset();
  const double now = static_cast<double>(std::time(nullptr)) * 1000.0;
  const auto first = localOffsetAt(now);
  if (!first) return detected;
  bool agrees = detected && isNamed(*detected);
  bool keepsOneOffset = true;
  for (int day = 0; day < kDaysCompared; ++day) {
    const double at = now + day * kMillisPerDay;
    const auto local = localOffsetAt(at);
    const std::int32_t millis = local ? local->millis : first->millis;
    keepsOneOffset = keepsOneOffset && millis == first->millis;
    agrees = agrees && offsetAt(*detected, at) == millis;
  }
  if (agrees) return detected;
  if (keepsOneOffset) return makeICUTimeZone(fixedOffsetIdentifier(first->millis));
  return std::make_unique<CLibraryTimeZone>();
}

void adoptHostZoneOnce() {
  [[maybe_unused]] static const bool adopted = [] {
    if (auto zone = hostZone()) icu::TimeZone::adoptDefault(zone.release());
    return true;
  }();
}

}  // namespace

std::unique_ptr<icu::TimeZone> makeICUTimeZone(std::string_view identifier) {
  if (identifier == kCLibraryZone) return std::make_unique<CLibraryTimeZone>();
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
