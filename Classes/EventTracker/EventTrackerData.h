#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "Classes/EventTracker/EventTrackerDevice.h"
#include "Classes/EventTracker/EventTrackerEvent.h"
#include "Classes/EventTracker/EventTrackerProperties.h"
#include "Classes/EventTracker/EventTrackerUser.h"

namespace platform {
class DateFormatter;
}  // namespace platform

namespace brelum {

// One event stamped with the time, the app version, the user and the device
// (EventTracker::Data): the flat record the customer endpoint receives as its
// `dictionary`. A plain value; every field may be changed after it is made.
struct EventTrackerData {
  using User = EventTrackerUser;
  using Device = EventTrackerDevice;

  // Reads the clock once for both creation fields; the device and app version are the
  // once-per-process ones.
  EventTrackerData(std::string appId, std::string sdkVersion, const EventTrackerEvent& event,
                   User user);

  std::string sdk_version;
  std::string app_identifier;          // the host app's version text, not its bundle identifier
  std::string created_at;              // by dateFormatter()
  std::uint64_t created_at_in_ms = 0;  // the same instant, whole milliseconds since 1970
  std::string event_name;
  User user;
  Device device;
  EventTrackerProperties::Dictionary event;
  std::string mode = "COMMERCE";
  std::string appId;  // written under "app_id"

  // Exactly ten entries, one per field, with nested objects for user, device and event.
  [[nodiscard]] nlohmann::json dictionary() const;

  // Shared by every record ("yyyy-MM-dd'T'HH:mm:ssZ'" in "en_US_POSIX", the process's
  // current zone); made on first use. Its calls are thread-safe.
  [[nodiscard]] static const platform::DateFormatter& dateFormatter();
};

}  // namespace brelum
