#pragma once

#include <expected>
#include <functional>

#include "Classes/EventTracker/EventTrackerEvent.h"
#include "Classes/EventTracker/EventTrackerUser.h"
#include "Classes/EventTracker/Gateway/EventGatewayError.h"

namespace brelum {

// Where the tracker hands one event for delivery. A gateway is made for one event and may
// be released as soon as track() returns: the delivery keeps what it needs.
class EventTrackingGateway {
 public:
  using Result = std::expected<void, EventGatewayError>;
  using Completion = std::function<void(Result)>;

  virtual ~EventTrackingGateway() = default;

  // Returns at once; `completion` runs exactly once, later, on the main queue.
  virtual void track(const EventTrackerEvent& event, const EventTrackerUser& user,
                     Completion completion) = 0;
};

}  // namespace brelum
