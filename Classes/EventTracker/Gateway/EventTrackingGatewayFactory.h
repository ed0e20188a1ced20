#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Classes/EventTracker/EventTrackerDevice.h"
#include "Classes/EventTracker/Gateway/EventTrackingGateway.h"
#include "Platform/Foundation/URL.h"

namespace brelum {

// Makes the gateway for each event the tracker sends. Called on the sending thread, once
// per event.
class EventTrackingGatewayFactory {
 public:
  virtual ~EventTrackingGatewayFactory() = default;

  // Never null.
  [[nodiscard]] virtual std::shared_ptr<EventTrackingGateway> make(
      const platform::URL& baseURL, const std::optional<platform::URL>& extraURL,
      const std::string& appId, const std::string& sdkVersion,
      const EventTrackerDevice& device) = 0;
};

}  // namespace brelum
