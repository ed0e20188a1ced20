#include "Classes/EventTracker/EventTrackerData.h"

#include <utility>

#include <nlohmann/json.hpp>

#include "Classes/Utils/TimeInterval.h"
#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/DateFormatter.h"
#include "Platform/Foundation/Locale.h"

namespace brelum {

EventTrackerData::EventTrackerData(std::string appId, std::string sdkVersion,
                                   const EventTrackerEvent& event, User user)
    : event_name(event.name()),
      user(std::move(user)),
      event(event.dictionary()),
      appId(std::move(appId)) {
  app_identifier = Device::applicationVersion();
  device = Device::current();
  const auto now = platform::Date::now();
  created_at = dateFormatter().string(now);
  created_at_in_ms = longValue(now.timeIntervalSince1970());
  sdk_version = std::move(sdkVersion);
}

nlohmann::json EventTrackerData::dictionary() const {
  return nlohmann::json{
      {"sdk_version", sdk_version},
      {"app_identifier", app_identifier},
      {"created_at", created_at},
      {"created_at_in_ms", created_at_in_ms},
      {"event_name", event_name},
      {"user", user.dictionary()},
      {"device", device.dictionary()},
      {"event", EventTrackerProperties::json(event)},
      {"mode", mode},
      {"app_id", appId},
  };
}

const platform::DateFormatter& EventTrackerData::dateFormatter() {
  // The final apostrophe opens a quoted section that nothing closes; it writes nothing and
  // is kept so that the text matches what receivers already parse.
  static const platform::DateFormatter formatter("yyyy-MM-dd'T'HH:mm:ssZ'",
                                                 platform::Locale("en_US_POSIX"));
  return formatter;
}

}  // namespace brelum
