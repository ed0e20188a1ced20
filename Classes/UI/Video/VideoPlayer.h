#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Classes/UI/Base/_BaseView.h"
#include "Platform/Foundation/KeyValueObserver.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Media/PlayerStatus.h"

namespace platform {
class Player;
class PlayerItem;
class PlayerLayer;
}  // namespace platform

namespace brelum {

// A view that plays one media URL without controls, its picture filling the bounds (aspect
// fill, cropped), and starts it over from the beginning whenever it plays below normal
// speed: at the end of the media (so it loops), after a stall or a pause. It stops when the
// application is about to resign active and plays the same URL from the beginning when the
// application becomes active again.
//
// Media that fail are opened again, but not at once: a URL that can never play would
// otherwise be reopened as fast as it fails. The n-th failure in a row waits
// kFirstRestartDelay * 2^(n-1), at most kLongestRestartDelay, and the view keeps showing the
// last picture until the reopened media show their first. Media that have played for
// kPlayedLongEnough, or a play(url:) from the host, begin a new count; becoming ready is not
// enough, so media that fail each time right after it are counted too. Each failure of such a
// restart (the second failure in a row and every one after) is reported to onErrorOccured. A
// status notice that finds the status unknown is no failure: the media are opened again at
// once.
//
// Main thread only. Key-value and application-state notices arrive there and are handled
// synchronously; a pending restart, and the wait for media to have played long enough, are
// main-queue timers that hold the view weakly and are voided by any later play, stop or
// restart. Destruction stops playback, then drops the application-state registrations.
class VideoPlayer : public _BaseView, public platform::KeyValueObserver {
 public:
  // Named onErrorOccured as hosts know it.
  using ErrorCallback = std::function<void()>;

  static constexpr std::chrono::milliseconds kFirstRestartDelay{500};
  static constexpr std::chrono::milliseconds kLongestRestartDelay{30'000};
  static constexpr std::chrono::milliseconds kPlayedLongEnough{5'000};

  // How long the n-th failure in a row waits before the media are opened again.
  [[nodiscard]] static std::chrono::milliseconds restartDelay(int consecutiveFailures);

  // Constructors are public for std::make_shared: create players with View::make<VideoPlayer>()
  // or from a nib.
  VideoPlayer() = default;
  explicit VideoPlayer(const platform::NibCoder& coder) : _BaseView(coder) {}
  ~VideoPlayer() override;

 private:
  [[nodiscard]] virtual const std::shared_ptr<platform::Player>& player() const;
  virtual void setPlayer(std::shared_ptr<platform::Player> player);
  [[nodiscard]] virtual const std::shared_ptr<platform::PlayerLayer>& playerLayer() const;
  virtual void setPlayerLayer(std::shared_ptr<platform::PlayerLayer> layer);
  [[nodiscard]] virtual std::shared_ptr<platform::PlayerItem> currentItem() const;
  [[nodiscard]] virtual const std::optional<platform::URL>& url() const;
  virtual void setURL(std::optional<platform::URL> url);

 public:
  [[nodiscard]] virtual const ErrorCallback& onErrorOccured() const;
  virtual void setOnErrorOccured(ErrorCallback callback);

 private:
  virtual void turnOnAudioInSilentMode();

 public:
  // Plays the last URL given to play(url:) again from the beginning; nothing without one.
  virtual void resume();
  // Keeps `url` and plays it from scratch with a new player, item and layer; playback starts
  // once the media is ready.
  virtual void play(const platform::URL& url);
  // Ends playback and drops the player and its layer; the URL stays for resume().
  virtual void stop();

 private:
  virtual void removePlayerItemObservers();
  virtual void addPlayerItemObservers();
  virtual void handlePlyerStatus(std::optional<platform::PlayerStatus> status);
  virtual void handlePlayerRate(std::optional<float> rate);

 public:
  void viewDidLoad() override;
  void layoutSubviews() override;
  void observeValue(const std::optional<std::string>& keyPath, const void* object,
                    const platform::KeyValueChange& change, void* context) override;

 private:
  // Steps of play(url:) after storing the URL, shared by the restarts after a failure.
  void load();
  // Observations off, playback paused and the player let go; the layer stays.
  void dropPlayer();
  void restartAfterFailure();
  void reopen();
  void notePlayedLongEnough();
  // Runs `step` after `delay` unless the playback of now has ended by then.
  void afterDelay(std::chrono::milliseconds delay, void (VideoPlayer::*step)());

  std::shared_ptr<platform::Player> player_;
  std::shared_ptr<platform::PlayerLayer> playerLayer_;
  std::optional<platform::URL> url_;
  ErrorCallback onErrorOccured_;
  int consecutiveFailures_ = 0;
  // Bumped whenever a player is let go (so by every stop, play and restart): a timer armed
  // before it is void.
  std::uint64_t generation_ = 0;
};

}  // namespace brelum
