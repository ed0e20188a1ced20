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
  return BrelumEventTrackingAPI::make(profile(baseURL, appId, sdkVersion, device),
                                      httpAdapterFactory_->make());
}

std::shared_ptr<const EventGatewayProfile> BrelumEventTrackingAPIGatewayFactory::profile(
    const platform::URL& baseURL, const std::string& appId, const std::string& sdkVersion,
    const EventTrackerDevice& device) {
  std::lock_guard lock(profileMutex_);
  if (!profile_ || profile_->baseURL != baseURL || profile_->appId != appId ||
      profile_->sdkVersion != sdkVersion || profile_->device != device) {
    profile_ = std::make_shared<const EventGatewayProfile>(
        EventGatewayProfile{baseURL, appId, sdkVersion, device, dateFactory_, jsonEncoderFactory_});
  }
  return profile_;
}

}  // namespace brelum
