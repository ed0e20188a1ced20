#include "Platform/Foundation/DateFormatter.h"

#include <cmath>
#include <cstdint>
#include <mutex>
#include <utility>

#include <unicode/calendar.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

#include "Platform/Foundation/ICUTimeZone.h"

namespace platform {
namespace {

// Longer patterns or texts than this cannot be meant; refusing them keeps lengths within
// ICU's 32-bit indices.
constexpr std::size_t kMaxTextLength = 64 * 1024;

// The text as UTF-16, or std::nullopt when it is too long or not well-formed UTF-8 (ICU's
// own conversion would substitute U+FFFD and might then match a pattern by accident).
std::optional<icu::UnicodeString> fromUTF8(std::string_view text) {
  if (text.size() > kMaxTextLength) return std::nullopt;
  if (text.empty()) return icu::UnicodeString();
  const auto length = static_cast<int32_t>(text.size());
  int32_t needed = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8(nullptr, 0, &needed, text.data(), length, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
  icu::UnicodeString out;
  UChar* buffer = out.getBuffer(needed);
  if (buffer == nullptr) return std::nullopt;
  status = U_ZERO_ERROR;
  u_strFromUTF8(buffer, out.getCapacity(), &needed, text.data(), length, &status);
  out.releaseBuffer(U_SUCCESS(status) ? needed : 0);
  if (U_FAILURE(status)) return std::nullopt;
  return out;
}

std::string toUTF8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

// The white space of `text`, in order.
icu::UnicodeString whiteSpaceOf(const icu::UnicodeString& text) {
  icu::UnicodeString spaces;
  for (int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    if (u_isUWhiteSpace(c)) spaces.append(c);
    i += U16_LENGTH(c);
  }
  return spaces;
}

// The literal text that the pattern writes after its last field ("Z" for
// "...ss.SSS'Z'"): quoted text, "''" for an apostrophe, and unquoted non-letters.
std::string trailingLiteral(std::string_view pattern) {
  std::string literal;
  bool quoted = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\'') {
      if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
        literal += '\'';
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (!quoted && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
      literal.clear();
    } else {
      literal += c;
    }
  }
  return literal;
}

}  // namespace

struct DateFormatter::Impl {
  // Guards everything below: ICU's formatter changes its calendar while it formats.
  mutable std::mutex mutex;

  std::string dateFormat;
  std::optional<Locale> locale;      // std::nullopt: follow Locale::current()
  std::optional<TimeZone> timeZone;  // std::nullopt: follow TimeZone::current()

  // Built lazily from the settings above and kept until they change.
  std::unique_ptr<icu::SimpleDateFormat> formatter;
  bool needsBuild = true;  // locale changed, or never built
  bool needsPattern = false;
  bool needsZone = false;
  std::string builtLocale;
  std::uint64_t seenLocaleGeneration = 0;  // 0: never looked
  std::uint64_t seenZoneGeneration = 0;

  Impl() = default;
  Impl(std::string format, std::optional<Locale> loc, std::optional<TimeZone> zone)
      : dateFormat(std::move(format)), locale(std::move(loc)), timeZone(std::move(zone)) {}

  // The ICU formatter for the current settings, or null when ICU refuses them.
  icu::SimpleDateFormat* prepare();

 private:
  void build();
  void applyZone();
};

icu::SimpleDateFormat* DateFormatter::Impl::prepare() {
  if (!locale) {
    const auto generation = detail::currentLocaleGeneration();
    if (generation != seenLocaleGeneration) {
      seenLocaleGeneration = generation;
      auto identifier = Locale::current().identifier();
      if (identifier != builtLocale) {
        builtLocale = std::move(identifier);
        needsBuild = true;
      }
    }
  } else if (locale->identifier() != builtLocale) {
    builtLocale = locale->identifier();
    needsBuild = true;
  }

  if (needsBuild) {
    build();
  } else if (formatter && needsPattern) {
    // A new pattern on the same locale does not need the expensive rebuild.
    if (auto pattern = fromUTF8(dateFormat)) {
      formatter->applyPattern(*pattern);
    } else {
      formatter.reset();
    }
  }
  needsPattern = false;
  if (!formatter) return nullptr;

  if (!timeZone && detail::currentTimeZoneGeneration() != seenZoneGeneration) needsZone = true;
  if (needsZone) applyZone();
  return formatter.get();
}

void DateFormatter::Impl::build() {
  needsBuild = false;
  formatter.reset();
  auto pattern = fromUTF8(dateFormat);
  if (!pattern) return;
  UErrorCode status = U_ZERO_ERROR;
  auto built =
      std::make_unique<icu::SimpleDateFormat>(*pattern, icu::Locale(builtLocale.c_str()), status);
  if (U_FAILURE(status)) return;
  // Non-lenient: the calendar refuses out-of-range fields, and the parser neither accepts
  // numbers for month names nor partial literals nor fallback patterns.
  built->setLenient(false);
  built->setBooleanAttribute(UDAT_PARSE_ALLOW_WHITESPACE, false, status);
  built->setBooleanAttribute(UDAT_PARSE_ALLOW_NUMERIC, false, status);
  built->setBooleanAttribute(UDAT_PARSE_PARTIAL_LITERAL_MATCH, false, status);
  built->setBooleanAttribute(UDAT_PARSE_MULTIPLE_PATTERNS_FOR_MATCH, false, status);
  if (U_FAILURE(status)) return;
  formatter = std::move(built);
  needsZone = true;
}

void DateFormatter::Impl::applyZone() {
  needsZone = false;
  if (timeZone) {
    // The lookup every TimeZone was made by, which also knows the C library's local time.
    formatter->adoptTimeZone(detail::makeICUTimeZone(timeZone->identifier()).release());
    return;
  }
  // Read the count before the zone: a change racing with this call is then seen (again)
  // on the next call rather than missed.
  seenZoneGeneration = detail::currentTimeZoneGeneration();
  formatter->adoptTimeZone(detail::defaultICUTimeZone().release());
}

DateFormatter::DateFormatter() : impl_(std::make_unique<Impl>()) {
}

DateFormatter::DateFormatter(std::string dateFormat, std::optional<Locale> locale)
    : impl_(std::make_unique<Impl>(std::move(dateFormat), std::move(locale), std::nullopt)) {
}

std::shared_ptr<DateFormatter> DateFormatter::make() {
  return std::make_shared<DateFormatter>();
}

std::shared_ptr<DateFormatter> DateFormatter::make(std::string dateFormat,
                                                   std::optional<Locale> locale) {
  return std::make_shared<DateFormatter>(std::move(dateFormat), std::move(locale));
}

DateFormatter::DateFormatter(const DateFormatter& other) {
  std::lock_guard lock(other.impl_->mutex);
  impl_ =
      std::make_unique<Impl>(other.impl_->dateFormat, other.impl_->locale, other.impl_->timeZone);
}

DateFormatter& DateFormatter::operator=(const DateFormatter& other) {
  if (this != &other) {
    DateFormatter copy(other);
    std::swap(impl_, copy.impl_);
  }
  return *this;
}

DateFormatter::DateFormatter(DateFormatter&& other)
    : impl_(std::exchange(other.impl_, std::make_unique<Impl>())) {
}

DateFormatter& DateFormatter::operator=(DateFormatter&& other) {
  if (this != &other) impl_ = std::exchange(other.impl_, std::make_unique<Impl>());
  return *this;
}

DateFormatter::~DateFormatter() = default;

std::string DateFormatter::dateFormat() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->dateFormat;
}

void DateFormatter::setDateFormat(std::string dateFormat) {
  std::lock_guard lock(impl_->mutex);
  if (dateFormat == impl_->dateFormat) return;
  impl_->dateFormat = std::move(dateFormat);
  // A pattern ICU refused earlier left no formatter to apply the new one to.
  if (impl_->formatter) {
    impl_->needsPattern = true;
  } else {
    impl_->needsBuild = true;
  }
}

Locale DateFormatter::locale() const {
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->locale) return *impl_->locale;
  }
  return Locale::current();
}

void DateFormatter::setLocale(std::optional<Locale> locale) {
  std::lock_guard lock(impl_->mutex);
  impl_->locale = std::move(locale);
  // prepare() compares the resulting identifier with the one built and rebuilds on change.
  impl_->seenLocaleGeneration = 0;
}

TimeZone DateFormatter::timeZone() const {
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->timeZone) return *impl_->timeZone;
  }
  return TimeZone::current();
}

void DateFormatter::setTimeZone(std::optional<TimeZone> timeZone) {
  std::lock_guard lock(impl_->mutex);
  impl_->timeZone = std::move(timeZone);
  impl_->needsZone = true;
}

std::string DateFormatter::string(Date date) const {
  const double millis = date.timeIntervalSince1970() * 1000.0;
  // ICU would carry NaN into integer conversions; infinities it refuses below anyway.
  if (!std::isfinite(millis)) return {};
  std::lock_guard lock(impl_->mutex);
  auto* formatter = impl_->prepare();
  if (formatter == nullptr) return {};
  icu::UnicodeString text;
  UErrorCode status = U_ZERO_ERROR;
  // The non-lenient calendar refuses instants outside its range instead of clamping them.
  formatter->format(millis, text, nullptr, status);
  if (U_FAILURE(status)) return {};
  return toUTF8(text);
}

std::optional<Date> DateFormatter::date(std::string_view text) const {
  auto input = fromUTF8(text);
  if (!input || input->isEmpty()) return std::nullopt;
  std::lock_guard lock(impl_->mutex);
  auto* formatter = impl_->prepare();
  if (formatter == nullptr) return std::nullopt;

  // A copy of the formatter's non-lenient calendar: a field out of range fails in getTime
  // instead of rolling over into the next month. A zone read from the text lands in it too.
  std::unique_ptr<icu::Calendar> calendar(formatter->getCalendar()->clone());
  if (!calendar) return std::nullopt;
  calendar->clear();
  icu::ParsePosition position(0);
  formatter->parse(*input, *calendar, position);
  if (position.getErrorIndex() >= 0 || position.getIndex() != input->length()) {
    return std::nullopt;
  }
  // ICU stops without complaint when the text ends before the pattern's closing literal
  // ("...30.123" against "...ss.SSS'Z'"); such text does not match the whole pattern.
  if (!text.ends_with(trailingLiteral(impl_->dateFormat))) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  const UDate millis = calendar->getTime(status);
  if (U_FAILURE(status)) return std::nullopt;

  // Even non-lenient, ICU skips white space before numeric fields and lets one white-space
  // character stand for another ("2024- 03-01", " 2024-03-01", a tab for a space). The date
  // formatted back, in the zone the text named, shows the white space the pattern produces.
  const auto spaces = whiteSpaceOf(*input);
  if (!spaces.isEmpty()) {
    icu::UnicodeString canonical;
    icu::FieldPosition field;
    formatter->format(*calendar, canonical, field);
    if (whiteSpaceOf(canonical) != spaces) return std::nullopt;
  }
  return Date(millis / 1000.0);
}

}  // namespace platform
