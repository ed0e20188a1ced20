#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Classes/DateFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/EventGatewayProfile.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/JSONEncoderFactory.h"
#include "Classes/EventTracker/Gateway/EventTrackingGatewayFactory.h"
#include "Classes/HTTP/HTTPAdapterFactory.h"

namespace brelum {

// Makes a cloud-queue gateway for every event, each with a new HTTP adapter and the
// factory's shared clock and encoder factory. Callable from any thread.
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
  // The profile made last, handed to every gateway made with the same values: a burst of
  // events shares one, however many gateways it takes.
  [[nodiscard]] std::shared_ptr<const EventGatewayProfile> profile(
      const platform::URL& baseURL, const std::string& appId, const std::string& sdkVersion,
      const EventTrackerDevice& device);

  const std::shared_ptr<HTTPAdapterFactory> httpAdapterFactory_;
  const std::shared_ptr<DateFactory> dateFactory_;
  const std::shared_ptr<JSONEncoderFactory> jsonEncoderFactory_;
  std::mutex profileMutex_;
  std::shared_ptr<const EventGatewayProfile> profile_;  // guarded by profileMutex_
};

}  // namespace brelum
