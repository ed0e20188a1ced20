#include "Platform/Media/Player.h"

#include <algorithm>
#include <utility>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Dispatch/FatalError.h"
#include "Platform/Dispatch/MainThread.h"
#include "Platform/Media/MediaPipeline.h"
#include "Platform/Media/PlayerItem.h"
#include "Platform/Media/VideoFrame.h"
#include "Platform/Media/VideoFrameSink.h"

namespace platform {
namespace {

constexpr std::chrono::milliseconds kStallCheckInterval{250};

}  // namespace

std::shared_ptr<Player> Player::make() {
  detail::requireMainThread("Player");
  return std::shared_ptr<Player>(new Player());
}

Player::~Player() = default;

void Player::replaceCurrentItem(std::shared_ptr<PlayerItem> item) {
  detail::requireMainThread("Player");
  if (item == item_) return;
  if (item && item->player() && item->player().get() != this) {
    fatalError("a player item belongs to one player at a time");
  }
  pipeline_.reset();
  if (item_) item_->setPlayer(nullptr);
  item_ = std::move(item);
  frame_.reset();
  ended_ = false;
  stalled_ = false;
  if (item_) {
    item_->setPlayer(shared_from_this());
    open();
  }
  updateRate();
}

void Player::open() {
  auto weak = weak_from_this();
  detail::MediaPipeline::Events events{
      .ready =
          [weak] {
            if (auto self = weak.lock()) self->onReady();
          },
      .failed =
          [weak](MediaError error) {
            if (auto self = weak.lock()) self->onFailed(std::move(error));
          },
      .ended =
          [weak] {
            if (auto self = weak.lock()) self->onEnded();
          },
      .frame =
          [weak](auto frame) {
            if (auto self = weak.lock()) self->onFrame(std::move(frame));
          },
  };
  auto pipeline = detail::MediaPipeline::make(
      item_->url(), std::chrono::duration<double>(item_->preferredForwardBufferDuration()),
      std::move(events));
  if (!pipeline) {
    // Reported later, from the main queue, as every other failure is: an observer registered
    // right after replaceCurrentItem() hears it.
    DispatchQueue::main()->async([weak, item = std::weak_ptr(item_), error = pipeline.error()] {
      auto self = weak.lock();
      if (self && self->item_ == item.lock()) self->onFailed(error);
    });
    return;
  }
  pipeline_ = std::move(*pipeline);
  if (wantsToPlay_) play();
}

void Player::play() {
  detail::requireMainThread("Player");
  wantsToPlay_ = true;
  if (pipeline_) {
    if (std::exchange(ended_, false)) pipeline_->seekToStart();
    pipeline_->play();
    watchForStalls();
  }
  updateRate();
}

void Player::pause() {
  detail::requireMainThread("Player");
  wantsToPlay_ = false;
  if (pipeline_) pipeline_->pause();
  updateRate();
}

PlayerStatus Player::status() const {
  return item_ ? item_->status() : PlayerStatus::unknown;
}

void Player::addVideoOutput(std::weak_ptr<VideoFrameSink> output) {
  detail::requireMainThread("Player");
  outputs_.push_back(std::move(output));
}

void Player::removeVideoOutput(const VideoFrameSink* output) {
  detail::requireMainThread("Player");
  std::erase_if(outputs_, [output](const auto& weak) {
    auto held = weak.lock();
    return !held || held.get() == output;
  });
}

void Player::onReady() {
  if (item_->status() == PlayerStatus::unknown) item_->changeStatus(PlayerStatus::readyToPlay);
}

void Player::onFailed(MediaError error) {
  // The item outlives the notices even when an observer lets go of the player.
  auto item = item_;
  pipeline_.reset();
  item->changeStatus(PlayerStatus::failed, std::move(error));
  updateRate();
}

void Player::onEnded() {
  ended_ = true;
  if (pipeline_) pipeline_->pause();
  updateRate();
}

void Player::onFrame(std::shared_ptr<const VideoFrame> frame) {
  frame_ = std::move(frame);
  auto outputs = outputs_;  // an output may add or remove outputs while it draws
  for (const auto& weak : outputs) {
    if (auto output = weak.lock()) output->displayFrame(frame_);
  }
  if (std::exchange(stalled_, false)) {
    updateRate();
    watchForStalls();
  }
}

void Player::updateRate() {
  const bool moving =
      wantsToPlay_ && item_ && item_->status() != PlayerStatus::failed && !ended_ && !stalled_;
  const float rate = moving ? 1.0f : 0.0f;
  if (rate == rate_) return;
  rate_ = rate;
  if (auto item = item_) item->announce("player.rate");
}

void Player::watchForStalls() {
  if (std::exchange(stallCheckPending_, true)) return;
  DispatchQueue::main()->asyncAfter(kStallCheckInterval, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->checkForStall();
  });
}

void Player::checkForStall() {
  stallCheckPending_ = false;
  if (!wantsToPlay_ || !pipeline_ || ended_ || stalled_) return;
  if (pipeline_->frozenFor() > kStallTimeout) {
    stalled_ = true;
    updateRate();
    return;
  }
  watchForStalls();
}

}  // namespace platform
