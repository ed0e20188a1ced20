#include "Platform/Media/PlayerItem.h"

#include <cmath>

namespace platform {

std::shared_ptr<PlayerItem> PlayerItem::make(URL url) {
  return std::shared_ptr<PlayerItem>(new PlayerItem(std::move(url)));
}

void PlayerItem::setPreferredForwardBufferDuration(double seconds) {
  forwardBuffer_ = std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

void PlayerItem::changeStatus(PlayerStatus status, std::optional<MediaError> error) {
  status_ = status;
  error_ = std::move(error);
  announce("status");
}

}  // namespace platform
