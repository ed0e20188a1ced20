#pragma once

#include <memory>

#include "Classes/EventTracker/EventTrackerEvent.h"
#include "Classes/EventTracker/EventTrackerUser.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/EventGatewayProfile.h"
#include "Classes/EventTracker/Gateway/EventTrackingGateway.h"
#include "Classes/HTTP/HTTPAdapter.h"
#include "Platform/Foundation/Date.h"

namespace brelum {

// An event handed to a cloud-queue gateway, waiting in the outbox for its exchange: what the
// host gave, the time it was handed over, and what its gateway sends it with. Kept small, a
// burst holds thousands of them: the document and the request are made only when its turn
// comes, and the parts shared by a burst's events are shared, not copied.
struct WaitingEvent {
  std::shared_ptr<const EventGatewayProfile> profile;
  std::shared_ptr<HTTPAdapter> httpAdapter;
  EventTrackerEvent event;
  std::shared_ptr<const EventTrackerUser> user;
  platform::Date createdAt;
  EventTrackingGateway::Completion completion;
};

}  // namespace brelum
