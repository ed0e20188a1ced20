#include "Classes/UI/Video/VideoPlayer.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/ASCII.h"
#include "Platform/Foundation/Console.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Media/AudioSession.h"
#include "Platform/Media/Player.h"
#include "Platform/Media/PlayerItem.h"
#include "Platform/Media/PlayerLayer.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/NibRegistry.h"

namespace brelum {
namespace {

const platform::NibClassRegistration<VideoPlayer> kNibClass(platform::Bundle::framework());

constexpr std::string_view kStatusKeyPath = "status";
constexpr std::string_view kRateKeyPath = "player.rate";
// Little media held ahead: the video starts, and starts over, as soon as possible.
constexpr double kForwardBufferSeconds = 0.3;

}  // namespace

VideoPlayer::~VideoPlayer() {
  stop();
  platform::NotificationCenter::defaultCenter()->removeObserver(this);
}

const std::shared_ptr<platform::Player>& VideoPlayer::player() const {
  return player_;
}

void VideoPlayer::setPlayer(std::shared_ptr<platform::Player> player) {
  player_ = std::move(player);
}

const std::shared_ptr<platform::PlayerLayer>& VideoPlayer::playerLayer() const {
  return playerLayer_;
}

void VideoPlayer::setPlayerLayer(std::shared_ptr<platform::PlayerLayer> layer) {
  playerLayer_ = std::move(layer);
}

std::shared_ptr<platform::PlayerItem> VideoPlayer::currentItem() const {
  return player() ? player()->currentItem() : nullptr;
}

const std::optional<platform::URL>& VideoPlayer::url() const {
  return url_;
}

void VideoPlayer::setURL(std::optional<platform::URL> url) {
  url_ = std::move(url);
}

const VideoPlayer::ErrorCallback& VideoPlayer::onErrorOccured() const {
  return onErrorOccured_;
}

void VideoPlayer::setOnErrorOccured(ErrorCallback callback) {
  onErrorOccured_ = std::move(callback);
}

void VideoPlayer::turnOnAudioInSilentMode() {
  auto set = platform::AudioSession::sharedInstance().setCategory(
      platform::AudioSessionCategory::playback);
  if (!set) platform::Console::print(set.error().localizedDescription);
}

void VideoPlayer::resume() {
  if (auto last = url()) play(*last);
}

void VideoPlayer::play(const platform::URL& url) {
  setURL(url);
  consecutiveFailures_ = 0;
  load();
}

void VideoPlayer::stop() {
  dropPlayer();
  if (playerLayer()) {
    playerLayer()->removeFromSuperlayer();
    setPlayerLayer(nullptr);
  }
}

void VideoPlayer::removePlayerItemObservers() {
  if (auto item = currentItem()) {
    item->removeObserver(this, kStatusKeyPath);
    item->removeObserver(this, kRateKeyPath);
  }
}

void VideoPlayer::addPlayerItemObservers() {
  if (auto item = currentItem()) {
    auto self = std::weak_ptr<platform::KeyValueObserver>(sharedAs<VideoPlayer>());
    item->addObserver(self, std::string(kStatusKeyPath));
    item->addObserver(self, std::string(kRateKeyPath));
  }
}

void VideoPlayer::handlePlyerStatus(std::optional<platform::PlayerStatus> status) {
  if (!status) return;
  switch (*status) {
    case platform::PlayerStatus::unknown:
      resume();
      break;
    case platform::PlayerStatus::failed:
      restartAfterFailure();
      break;
    case platform::PlayerStatus::readyToPlay:
      if (player()) {
        player()->play();
        afterDelay(kPlayedLongEnough, &VideoPlayer::notePlayedLongEnough);
      }
      break;
  }
}

void VideoPlayer::handlePlayerRate(std::optional<float> rate) {
  if (rate && *rate < 1.0f) resume();
}

void VideoPlayer::viewDidLoad() {
  _BaseView::viewDidLoad();
  const auto& center = platform::NotificationCenter::defaultCenter();
  const auto weak = std::weak_ptr(sharedAs<VideoPlayer>());
  center->addObserver(this, std::string(platform::Application::kDidBecomeActiveNotification),
                      nullptr, [weak](const platform::Notification&) {
                        auto self = weak.lock();
                        if (self && self->url()) self->play(*self->url());
                      });
  center->addObserver(this, std::string(platform::Application::kWillResignActiveNotification),
                      nullptr, [weak](const platform::Notification&) {
                        if (auto self = weak.lock()) self->stop();
                      });
  turnOnAudioInSilentMode();
}

void VideoPlayer::layoutSubviews() {
  _BaseView::layoutSubviews();
  if (playerLayer()) playerLayer()->setFrame(bounds());
}

void VideoPlayer::observeValue(const std::optional<std::string>& keyPath, const void*,
                               const platform::KeyValueChange&, void*) {
  if (!keyPath) return;
  const auto key = platform::asciiLowercased(*keyPath);
  if (key == kStatusKeyPath) {
    handlePlyerStatus(player() ? std::optional(player()->status()) : std::nullopt);
  } else if (key == kRateKeyPath) {
    handlePlayerRate(player() ? std::optional(player()->rate()) : std::nullopt);
  }
}

void VideoPlayer::load() {
  stop();
  setPlayer(platform::Player::make());
  player()->replaceCurrentItem(platform::PlayerItem::make(*url()));
  currentItem()->setPreferredForwardBufferDuration(kForwardBufferSeconds);
  addPlayerItemObservers();
  setPlayerLayer(platform::PlayerLayer::make(player()));
  playerLayer()->setVideoGravity(platform::Layer::ContentsGravity::resizeAspectFill);
  layer()->addSublayer(playerLayer());
  setNeedsLayout();
}

void VideoPlayer::dropPlayer() {
  ++generation_;
  removePlayerItemObservers();
  if (player()) player()->pause();
  setPlayer(nullptr);
}

void VideoPlayer::restartAfterFailure() {
  ++consecutiveFailures_;
  // The layer, holding the failed player, goes on showing its last picture meanwhile.
  dropPlayer();
  afterDelay(restartDelay(consecutiveFailures_), &VideoPlayer::reopen);
  // Last, so that a callback which stops or plays decides what happens next.
  if (consecutiveFailures_ > 1 && onErrorOccured()) {
    auto callback = onErrorOccured();  // a copy: the callback may replace itself
    callback();
  }
}

void VideoPlayer::reopen() {
  if (!url()) return;
  // A picture is better than a blank view while the media open again.
  auto lastPicture = playerLayer() ? playerLayer()->contents() : nullptr;
  load();
  if (!playerLayer()->contents()) playerLayer()->setContents(std::move(lastPicture));
}

void VideoPlayer::notePlayedLongEnough() {
  consecutiveFailures_ = 0;
}

void VideoPlayer::afterDelay(std::chrono::milliseconds delay, void (VideoPlayer::*step)()) {
  const auto armed = generation_;
  platform::DispatchQueue::main()->asyncAfter(
      delay, [weak = std::weak_ptr(sharedAs<VideoPlayer>()), armed, step] {
        auto self = weak.lock();
        if (self && self->generation_ == armed) ((*self).*step)();
      });
}

std::chrono::milliseconds VideoPlayer::restartDelay(int consecutiveFailures) {
  auto delay = kFirstRestartDelay;
  for (int n = 1; n < consecutiveFailures && delay < kLongestRestartDelay; ++n) delay *= 2;
  return std::min(delay, kLongestRestartDelay);
}

}  // namespace brelum
