#include "Classes/Utils/StringServerDate.h"

#include "Platform/Foundation/DateFormatter.h"
#include "Platform/Foundation/Locale.h"
#include "Platform/Foundation/TimeZone.h"

namespace brelum {

std::optional<platform::Date> serverDate(std::string_view text) {
  // The "Z" is matched as a literal letter, so the zone has to be set: left to follow the
  // device, every server time would be shifted by the device's offset. The formatter is
  // costly to build and depends on nothing that changes, so each thread keeps one.
  thread_local const platform::DateFormatter formatter = [] {
    platform::DateFormatter f("yyyy-MM-dd'T'HH:mm:ss.SSS'Z'", platform::Locale("en_US_POSIX"));
    f.setTimeZone(platform::TimeZone::gmt());
    return f;
  }();
  return formatter.date(text);
}

}  // namespace brelum
