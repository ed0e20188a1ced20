#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPIGatewayFactory.h"

#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPI.h"

namespace brelum {

BrelumEventTrackingAPIGatewayFactory::BrelumEventTrackingAPIGatewayFactory(
    std::shared_ptr<HTTPAdapterFactory> httpAdapterFactory,
    std::shared_ptr<DateFactory> dateFactory,
    std::shared_ptr<JSONEncoderFactory> jsonEncoderFactory)
    : httpAdapterFactory_(std::move(httpAdapterFactory)),
      dateFactory_(std::move(dateFactory)),
      jsonEncoderFactory_(std::move(jsonEncoderFactory)) {
}

std::shared_ptr<EventTrackingGateway> BrelumEventTrackingAPIGatewayFactory::make(
    const platform::URL& baseURL, const std::optional<platform::URL>& /*extraURL*/,
    const std::string& appId, const std::string& sdkVersion, const EventTrackerDevice& device) {
  return BrelumEventTrackingAPI::make(baseURL, appId, sdkVersion, device,
                                      httpAdapterFactory_->make(), dateFactory_,
                                      jsonEncoderFactory_);
}

}  // namespace brelum
