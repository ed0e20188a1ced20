#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Classes/DateFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/JSONEncoderFactory.h"
#include "Classes/EventTracker/Gateway/EventTrackingGatewayFactory.h"
#include "Classes/HTTP/HTTPAdapterFactory.h"

namespace brelum {

// Makes a cloud-queue gateway for every event, each with a new HTTP adapter and the
// factory's shared clock and encoder factory. Immutable; callable from any thread.
class BrelumEventTrackingAPIGatewayFactory : public EventTrackingGatewayFactory {
 public:
  BrelumEventTrackingAPIGatewayFactory(std::shared_ptr<HTTPAdapterFactory> httpAdapterFactory,
                                       std::shared_ptr<DateFactory> dateFactory,
                                       std::shared_ptr<JSONEncoderFactory> jsonEncoderFactory);

  // `extraURL` is not used: events go to the cloud queue whatever customer URL is known.
  [[nodiscard]] std::shared_ptr<EventTrackingGateway> make(
      const platform::URL& baseURL, const std::optional<platform::URL>& extraURL,
      const std::string& appId, const std::string& sdkVersion,
      const EventTrackerDevice& device) override;

 private:
  const std::shared_ptr<HTTPAdapterFactory> httpAdapterFactory_;
  const std::shared_ptr<DateFactory> dateFactory_;
  const std::shared_ptr<JSONEncoderFactory> jsonEncoderFactory_;
};

}  // namespace brelum
