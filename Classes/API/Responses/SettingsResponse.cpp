#include "Classes/API/Responses/SettingsResponse.h"

namespace brelum {

void SettingsResponse::mapping(const JSONMap& map) {
  map.read("client_event_tracking_url", trackingURLString);
  map.read("sharing_message", sharingMessage);
}

}  // namespace brelum
