#pragma once

#include <memory>
#include <string>

#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/Locale.h"

namespace brelum {

// A light date formatter for documents made in bulk: it writes exactly the text that
// platform::DateFormatter(dateFormat, locale) writes, in the process's current time zone,
// but costs next to nothing to make.
//
// Building an ICU formatter takes tens of microseconds, more than the rest of an event's
// document. So each pattern and locale is compiled once per process (kept for the life of
// the process) and shared by every formatter made for it; a formatter made afterwards only
// takes a reference. Patterns of numeric year, month, day, 24-hour time and basic zone
// offset fields, in a locale with ASCII digits and the Gregorian calendar, are written
// directly for dates from 1583 to 9999; everything else (other fields, other dates, offsets
// with seconds) goes through a shared ICU formatter, so the text is the same either way.
//
// Immutable once made: copy it and use it from any thread.
class CompiledDateFormatter {
 public:
  CompiledDateFormatter(std::string dateFormat, platform::Locale locale);

  // `date` as text; "" for dates the platform formatter leaves empty (not finite, too far).
  [[nodiscard]] std::string string(platform::Date date) const;

  // Whether this pattern and locale are written without ICU (for tests and benchmarks).
  [[nodiscard]] bool writesDirectly() const;

 private:
  struct Pattern;
  std::shared_ptr<const Pattern> pattern_;
};

}  // namespace brelum
