#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/Locale.h"
#include "Platform/Foundation/TimeZone.h"

namespace platform {

// Formats dates as text and reads them back, by a Unicode (UTS #35) date pattern such as
// "yyyy-MM-dd'T'HH:mm:ss.SSS'Z'".
//
// Locale and time zone follow the process's current ones (Locale::current(),
// TimeZone::current()) at the time of each call unless set on the formatter.
//
// Reading is strict: the whole text must match the pattern; out-of-range fields (month 13,
// February 30), wall times skipped by a daylight-saving jump, white space the pattern does not
// have and trailing text are all refused.
//
// Patterns are taken as ICU reads them. A quote left open at the end of a pattern opens an
// empty literal, so "yyyy-MM-dd'T'HH:mm:ssZ'" formats as "2026-12-06T17:02:40+0000".
// A pattern ICU cannot use (letters that name no field, such as "ABC") formats as "" and
// reads nothing.
//
// Building the underlying formatter is expensive, so each DateFormatter builds it on first
// use and keeps it until its pattern, locale or zone changes. Calls on one formatter are
// serialised by a lock of its own, so sharing one between threads is safe; formatters used
// from one thread each never wait for one another.
class DateFormatter {
 public:
  // An empty pattern, which formats every date as "".
  DateFormatter();
  // The convenience the framework uses everywhere: a pattern, and optionally a locale.
  explicit DateFormatter(std::string dateFormat, std::optional<Locale> locale = std::nullopt);

  // For callers that share one formatter as a reference.
  [[nodiscard]] static std::shared_ptr<DateFormatter> make();
  [[nodiscard]] static std::shared_ptr<DateFormatter> make(
      std::string dateFormat, std::optional<Locale> locale = std::nullopt);

  // Copies carry the settings; each copy builds its own underlying formatter.
  DateFormatter(const DateFormatter& other);
  DateFormatter& operator=(const DateFormatter& other);
  // A moved-from formatter is as if newly default-constructed.
  DateFormatter(DateFormatter&& other);
  DateFormatter& operator=(DateFormatter&& other);
  ~DateFormatter();

  [[nodiscard]] std::string dateFormat() const;
  void setDateFormat(std::string dateFormat);

  // The formatter's locale, or the current one when it has none of its own.
  [[nodiscard]] Locale locale() const;
  // std::nullopt: follow Locale::current().
  void setLocale(std::optional<Locale> locale);

  // The formatter's zone, or the current one when it has none of its own.
  [[nodiscard]] TimeZone timeZone() const;
  // std::nullopt: follow TimeZone::current().
  void setTimeZone(std::optional<TimeZone> timeZone);

  // `date` as text; "" for a date that is not finite or lies outside the calendar's range
  // (millions of years away), or when the pattern cannot be used.
  [[nodiscard]] std::string string(Date date) const;

  // The date `text` names, read in the formatter's zone unless the text carries an offset;
  // std::nullopt unless the whole text matches the pattern. Text that is not valid UTF-8
  // never matches.
  [[nodiscard]] std::optional<Date> date(std::string_view text) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
