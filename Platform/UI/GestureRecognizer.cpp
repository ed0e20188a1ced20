#include "Platform/UI/GestureRecognizer.h"

#include <algorithm>
#include <utility>

#include "Platform/UI/View.h"

namespace platform {

GestureRecognizer::~GestureRecognizer() = default;

void GestureRecognizer::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled || !std::exchange(tracking_, false)) return;
  if (isRecognizing()) {
    setState(State::cancelled);
  } else {
    state_ = State::possible;
  }
}

std::shared_ptr<View> GestureRecognizer::view() const {
  return view_ ? std::static_pointer_cast<View>(view_->shared_from_this()) : nullptr;
}

void GestureRecognizer::removeTarget(const void* target) {
  std::erase_if(targets_, [target](const Target& entry) {
    auto held = entry.target.lock();
    return !held || held.get() == target;
  });
}

Point GestureRecognizer::location(const View* view) const {
  return view ? view->convertFrom(current_, nullptr) : current_;
}

void GestureRecognizer::touchBegan(Point windowPoint) {
  if (!enabled_) return;
  resetIfOver();
  tracking_ = true;
  current_ = windowPoint;
  began(windowPoint);
}

void GestureRecognizer::touchMoved(Point windowPoint) {
  if (!tracking_) return;
  current_ = windowPoint;
  moved(windowPoint);
}

void GestureRecognizer::touchEnded(Point windowPoint) {
  if (!tracking_) return;
  tracking_ = false;
  current_ = windowPoint;
  ended(windowPoint);
}

void GestureRecognizer::touchCancelled() {
  if (!std::exchange(tracking_, false)) return;
  setState(isRecognizing() ? State::cancelled : State::failed);
}

void GestureRecognizer::resetIfOver() {
  if (state_ != State::began && state_ != State::changed) state_ = State::possible;
}

void GestureRecognizer::setState(State state) {
  state_ = state;
  if (state != State::possible && state != State::failed) sendActions();
}

void GestureRecognizer::sendActions() {
  // An action may release this recognizer (removing its view) or change the target list.
  auto self = shared_from_this();
  const auto targets = targets_;
  for (const auto& entry : targets) {
    if (auto target = entry.target.lock()) entry.invoke(target, *this);
  }
}

}  // namespace platform
