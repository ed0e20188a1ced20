#pragma once

#include <memory>
#include <string>

#include "Classes/EventTracker/EventTrackerDevice.h"
#include "Classes/EventTracker/EventTrackerEvent.h"
#include "Classes/EventTracker/EventTrackerUser.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/EventTrackingJSON.h"
#include "Platform/Foundation/Date.h"

namespace brelum {

// Fills an event document from what the gateway knows. Stateless: the gateway makes one per
// document; any number may run at once on any threads.
class EventTrackingJSONBuilder {
 public:
  EventTrackingJSONBuilder() = default;
  [[nodiscard]] static std::shared_ptr<EventTrackingJSONBuilder> make();

  // Never fails: every string is taken as it is, empty ones included. The app version is
  // the once-per-process one; "mode" is always "COMMERCE".
  [[nodiscard]] EventTrackingJSON build(std::string appId, std::string sdkVersion,
                                        platform::Date createdAt, const EventTrackerUser& user,
                                        const EventTrackerDevice& deviceInformation,
                                        const EventTrackerEvent& event) const;

  [[nodiscard]] EventTrackingJSON::UserJSON buildUserDependency(const EventTrackerUser& user) const;
  [[nodiscard]] EventTrackingJSON::DeviceJSON buildDeviceDependency(
      const EventTrackerDevice& deviceInformation) const;
  // The payload copied; session dates become milliseconds since 1970 with their fraction.
  [[nodiscard]] EventTrackingJSON::EventJSON buildEventDependency(
      const EventTrackerEvent& event) const;
};

}  // namespace brelum
