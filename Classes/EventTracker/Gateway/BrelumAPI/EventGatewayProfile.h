#pragma once

#include <memory>
#include <string>

#include "Classes/DateFactory.h"
#include "Classes/EventTracker/EventTrackerDevice.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/JSONEncoderFactory.h"
#include "Platform/Foundation/URL.h"

namespace brelum {

// Everything a cloud-queue gateway holds but its HTTP adapter. It is the same for every event
// of a burst, so the gateway factory makes one for the gateways it makes, and their waiting
// events share it. Immutable once shared.
struct EventGatewayProfile {
  platform::URL baseURL;  // the queue URL
  std::string appId;
  std::string sdkVersion;
  EventTrackerDevice device;
  std::shared_ptr<DateFactory> dateFactory;
  std::shared_ptr<JSONEncoderFactory> jsonEncoderFactory;
};

}  // namespace brelum
