#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "Platform/Foundation/KeyValueObservable.h"
#include "Platform/Foundation/Object.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Media/MediaError.h"
#include "Platform/Media/PlayerStatus.h"

namespace platform {

class Player;

// The media at one URL, as a player plays it. Main thread only.
//
// Observable key paths (KeyValueObservable):
//   "status"       the item's status changed (to readyToPlay or failed);
//   "player.rate"  the rate of the player playing the item changed: play, pause, the end of
//                  the media, a stall and the recovery from one, a failure.
class PlayerItem : public Object, public KeyValueObservable {
 public:
  [[nodiscard]] static std::shared_ptr<PlayerItem> make(URL url);

  [[nodiscard]] const URL& url() const { return url_; }
  [[nodiscard]] PlayerStatus status() const { return status_; }
  // Why the item failed; nothing unless status() is failed.
  [[nodiscard]] const std::optional<MediaError>& error() const { return error_; }

  // How much media, in seconds, to hold ahead of the playing position where the media is
  // buffered; 0 (the default) lets the platform choose. Read when a player opens the item.
  [[nodiscard]] double preferredForwardBufferDuration() const { return forwardBuffer_; }
  void setPreferredForwardBufferDuration(double seconds);

  // The player whose current item this is, if any.
  [[nodiscard]] std::shared_ptr<Player> player() const { return player_.lock(); }

 private:
  friend class Player;

  explicit PlayerItem(URL url) : url_(std::move(url)) {}

  void setPlayer(const std::shared_ptr<Player>& player) { player_ = player; }
  // Moves to `status` and tells the "status" observers.
  void changeStatus(PlayerStatus status, std::optional<MediaError> error = std::nullopt);
  void announce(std::string_view keyPath) { didChangeValue(keyPath, this); }

  URL url_;
  PlayerStatus status_ = PlayerStatus::unknown;
  std::optional<MediaError> error_;
  double forwardBuffer_ = 0;
  std::weak_ptr<Player> player_;
};

}  // namespace platform
