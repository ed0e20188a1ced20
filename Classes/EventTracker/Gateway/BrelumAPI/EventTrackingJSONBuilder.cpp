#include "Classes/EventTracker/Gateway/BrelumAPI/EventTrackingJSONBuilder.h"

#include <type_traits>
#include <utility>

namespace brelum {

std::shared_ptr<EventTrackingJSONBuilder> EventTrackingJSONBuilder::make() {
  return std::make_shared<EventTrackingJSONBuilder>();
}

EventTrackingJSON EventTrackingJSONBuilder::build(std::string appId, std::string sdkVersion,
                                                  platform::Date createdAt,
                                                  const EventTrackerUser& user,
                                                  const EventTrackerDevice& deviceInformation,
                                                  const EventTrackerEvent& event) const {
  return EventTrackingJSON{
      .sdkVersion = std::move(sdkVersion),
      .appIdentifier = EventTrackerDevice::applicationVersion(),
      .createdAt = createdAt,
      .createdAtInMs = createdAt.timeIntervalSince1970() * 1000.0,
      .eventName = std::string(event.name()),
      .appId = std::move(appId),
      .mode = "COMMERCE",
      .user = buildUserDependency(user),
      .device = buildDeviceDependency(deviceInformation),
      .event = buildEventDependency(event),
  };
}

EventTrackingJSON::UserJSON EventTrackingJSONBuilder::buildUserDependency(
    const EventTrackerUser& user) const {
  return {user.user_id, user.client_user_id, user.name, user.gender};
}

EventTrackingJSON::DeviceJSON EventTrackingJSONBuilder::buildDeviceDependency(
    const EventTrackerDevice& deviceInformation) const {
  const auto& d = deviceInformation;
  return {d.id, d.model, d.data_network, d.is_wifi, d.os_ver, d.platform};
}

EventTrackingJSON::EventJSON EventTrackingJSONBuilder::buildEventDependency(
    const EventTrackerEvent& event) const {
  using EventJSON = EventTrackingJSON::EventJSON;
  return std::visit(
      [](const auto& payload) {
        using T = std::decay_t<decltype(payload)>;
        if constexpr (std::is_same_v<T, EventTrackerEvent::Session>) {
          return EventJSON(EventJSON::Session{payload.showId,
                                              payload.start.timeIntervalSince1970() * 1000.0,
                                              payload.end.timeIntervalSince1970() * 1000.0});
        } else {
          return EventJSON(payload);
        }
      },
      event.value());
}

}  // namespace brelum
