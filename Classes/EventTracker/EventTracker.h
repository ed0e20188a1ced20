#pragma once

#include "Classes/EventTracker/EventTrackerData.h"
#include "Classes/EventTracker/EventTrackerEvent.h"

namespace brelum {

// The host-facing entry of event tracking. Its value types are defined beside it and
// named here as nested types: EventTracker::Event (with Event::Screen and
// Event::Properties) and EventTracker::Data (with Data::User and Data::Device).
class EventTracker {
 public:
  using Event = EventTrackerEvent;
  using Data = EventTrackerData;
};

}  // namespace brelum
