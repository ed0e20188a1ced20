#include "Classes/EventTracker/Gateway/BrelumAPI/CompiledDateFormatter.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/numsys.h>
#include <unicode/timezone.h>

#include "Platform/Foundation/DateFormatter.h"
#include "Platform/Foundation/ICUTimeZone.h"

namespace brelum {
namespace {

// One piece of a compiled pattern: literal text, or a field letter with its width.
struct Token {
  char field = 0;  // 0 for literal text
  int count = 0;
  std::string literal;
};

constexpr double kMillisPerDay = 86'400'000.0;
// The Gregorian calendar of the locale data switches to Julian dates before 1582-10-15;
// written directly are local dates of years 1583 through 9999 only.
constexpr int kFirstYear = 1583;
constexpr int kLastYear = 9999;
// Compiled patterns kept for the life of the process; beyond this many, formatters compile
// their own (correct, only slower). The framework itself uses one.
constexpr std::size_t kMaxCachedPatterns = 16;

bool isPatternLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The widths written directly; any other letter or width leaves the pattern to ICU.
bool isDirectField(char field, int count) {
  switch (field) {
    case 'y':
      return count <= 4;
    case 'M':
    case 'd':
    case 'H':
    case 'm':
    case 's':
      return count <= 2;
    case 'Z':
      return count <= 3;  // "+HHmm"; four or more letters name other styles
    default:
      return false;
  }
}

// The pattern as ICU reads it: letters are fields, a quote opens or closes literal text, two
// quotes are one quote, and a quote left open runs to the end. Nothing for a pattern holding
// anything this formatter does not write itself (including any byte beyond ASCII).
std::optional<std::vector<Token>> tokenize(std::string_view pattern) {
  std::vector<Token> tokens;
  auto appendLiteral = [&tokens](char c) {
    if (tokens.empty() || tokens.back().field != 0) tokens.push_back(Token{});
    tokens.back().literal += c;
  };
  bool quoted = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
    if (c == '\'') {
      if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
        appendLiteral('\'');
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (quoted || !isPatternLetter(c)) {
      appendLiteral(c);
    } else {
      int count = 1;
      while (i + 1 < pattern.size() && pattern[i + 1] == c) {
        ++count;
        ++i;
      }
      if (!isDirectField(c, count)) return std::nullopt;
      tokens.push_back(Token{c, count, {}});
    }
  }
  return tokens;
}

// Whether the locale writes fields with ASCII digits in the Gregorian calendar.
bool hasPlainGregorianNumbers(const platform::Locale& locale) {
  const icu::Locale icuLocale(locale.identifier().c_str());
  if (icuLocale.isBogus()) return false;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::NumberingSystem> numbers(
      icu::NumberingSystem::createInstance(icuLocale, status));
  if (U_FAILURE(status) || !numbers || std::string_view(numbers->getName()) != "latn") {
    return false;
  }
  std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(icuLocale, status));
  return U_SUCCESS(status) && calendar && std::string_view(calendar->getType()) == "gregorian";
}

// Days since 1970-01-01 to a proleptic Gregorian date.
struct CivilDate {
  int year;
  int month;
  int day;
};
CivilDate civilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned shifted = (5 * dayOfYear + 2) / 153;
  const unsigned day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  const unsigned month = shifted < 10 ? shifted + 3 : shifted - 9;
  const auto year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
  return {static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
}

// `value` in decimal, zero-padded to `width` digits.
void appendNumber(std::string& out, int value, int width) {
  char digits[12];
  int length = 0;
  do {
    digits[length++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (int i = length; i < width; ++i) out += '0';
  while (length > 0) out += digits[--length];
}

}  // namespace

struct CompiledDateFormatter::Pattern {
  Pattern(std::string dateFormat, const platform::Locale& locale) : fallback(dateFormat, locale) {
    if (auto compiled = tokenize(dateFormat); compiled && hasPlainGregorianNumbers(locale)) {
      tokens = std::move(*compiled);
      direct = true;
      for (const auto& token : tokens) writesZone = writesZone || token.field == 'Z';
    }
  }

  std::optional<std::string> format(double millis) const;

  // Thread-safe on its own: it serialises its calls with a lock of its own.
  platform::DateFormatter fallback;
  std::vector<Token> tokens;
  bool direct = false;
  bool writesZone = false;
};

// The text of the instant `millis` (since 1970), or nothing when only ICU can tell. The
// arithmetic follows ICU's calendar step by step (local wall milliseconds, days by floor
// division, milliseconds of the day truncated) so that fractions and zone offsets land on
// the same second.
std::optional<std::string> CompiledDateFormatter::Pattern::format(double millis) const {
  if (!direct || !std::isfinite(millis)) return std::nullopt;
  // The process's default zone, as the platform formatter follows it; cloning it is cheap.
  const auto zone = platform::detail::defaultICUTimeZone();
  if (!zone) return std::nullopt;
  int32_t raw = 0;
  int32_t dst = 0;
  UErrorCode status = U_ZERO_ERROR;
  zone->getOffset(millis, false, raw, dst, status);
  if (U_FAILURE(status)) return std::nullopt;
  const int32_t offset = raw + dst;
  if (writesZone && offset % 60'000 != 0) return std::nullopt;  // ICU adds seconds: "+055328"

  const double local = millis + offset;
  const double days = std::floor(local / kMillisPerDay);
  // Well outside years 1583-9999; keeps the conversions below in range.
  if (std::fabs(days) > 4'000'000.0) return std::nullopt;
  const auto date = civilFromDays(static_cast<std::int64_t>(days));
  if (date.year < kFirstYear || date.year > kLastYear) return std::nullopt;
  int32_t inDay = static_cast<int32_t>(local - days * kMillisPerDay) / 1000;
  const int second = inDay % 60;
  inDay /= 60;
  const int minute = inDay % 60;
  const int hour = inDay / 60;

  std::string out;
  out.reserve(32);
  for (const auto& token : tokens) {
    switch (token.field) {
      case 0:
        out += token.literal;
        break;
      case 'y':
        // Two letters write the last two digits; any other width pads the whole year.
        if (token.count == 2) {
          appendNumber(out, date.year % 100, 2);
        } else {
          appendNumber(out, date.year, token.count);
        }
        break;
      case 'M':
        appendNumber(out, date.month, token.count);
        break;
      case 'd':
        appendNumber(out, date.day, token.count);
        break;
      case 'H':
        appendNumber(out, hour, token.count);
        break;
      case 'm':
        appendNumber(out, minute, token.count);
        break;
      case 's':
        appendNumber(out, second, token.count);
        break;
      case 'Z': {
        const int minutes = offset / 60'000;
        out += minutes < 0 ? '-' : '+';
        appendNumber(out, std::abs(minutes) / 60, 2);
        appendNumber(out, std::abs(minutes) % 60, 2);
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return out;
}

CompiledDateFormatter::CompiledDateFormatter(std::string dateFormat, platform::Locale locale) {
  static std::mutex mutex;
  static std::map<std::pair<std::string, std::string>, std::shared_ptr<const Pattern>> cache;
  auto key = std::make_pair(dateFormat, locale.identifier());
  {
    std::lock_guard lock(mutex);
    if (auto found = cache.find(key); found != cache.end()) {
      pattern_ = found->second;
      return;
    }
  }
  // Compiled outside the lock: it asks ICU about the locale, which takes a while.
  auto compiled = std::make_shared<const Pattern>(std::move(dateFormat), locale);
  std::lock_guard lock(mutex);
  if (auto found = cache.find(key); found != cache.end()) {
    pattern_ = found->second;  // another thread compiled it meanwhile
  } else {
    if (cache.size() < kMaxCachedPatterns) cache.emplace(std::move(key), compiled);
    pattern_ = std::move(compiled);
  }
}

std::string CompiledDateFormatter::string(platform::Date date) const {
  if (auto text = pattern_->format(date.timeIntervalSince1970() * 1000.0)) return *text;
  return pattern_->fallback.string(date);
}

bool CompiledDateFormatter::writesDirectly() const {
  return pattern_->direct;
}

}  // namespace brelum
