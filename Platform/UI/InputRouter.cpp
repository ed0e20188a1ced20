#include "Platform/UI/InputRouter.h"

#include <algorithm>

#include "Platform/UI/Control.h"
#include "Platform/UI/GestureRecognizer.h"
#include "Platform/UI/Window.h"

namespace platform {
namespace {

template <class T>
std::vector<std::shared_ptr<T>> lockAll(const std::vector<std::weak_ptr<T>>& weak) {
  std::vector<std::shared_ptr<T>> held;
  for (const auto& entry : weak) {
    if (auto strong = entry.lock()) held.push_back(std::move(strong));
  }
  return held;
}

// Recognizers and controls hear a pointer's phases through the same four calls.
template <class Target>
void pass(Target& target, PointerPhase phase, Point location) {
  switch (phase) {
    case PointerPhase::down:
      target.touchBegan(location);
      break;
    case PointerPhase::moved:
      target.touchMoved(location);
      break;
    case PointerPhase::up:
      target.touchEnded(location);
      break;
    case PointerPhase::cancelled:
      target.touchCancelled();
      break;
  }
}

}  // namespace

InputRouter::Touch* InputRouter::find(int pointer) {
  auto it = std::ranges::find(touches_, pointer, &Touch::pointer);
  return it == touches_.end() ? nullptr : &*it;
}

void InputRouter::forget(int pointer) {
  std::erase_if(touches_, [pointer](const Touch& touch) { return touch.pointer == pointer; });
}

bool InputRouter::send(const std::shared_ptr<Window>& window, PointerPhase phase, Point location,
                       int pointer) {
  if (!location.isFinite()) return false;
  if (phase == PointerPhase::down) {
    // A pointer that goes down again without having come up lost its end somewhere.
    if (Touch* stale = find(pointer)) {
      Touch copy = *stale;
      forget(pointer);
      deliver(std::move(copy), PointerPhase::cancelled, location);
    }
    return window && begin(window, location, pointer);
  }
  Touch* touch = find(pointer);
  if (!touch) return false;
  Touch copy = *touch;
  if (phase == PointerPhase::up || phase == PointerPhase::cancelled) forget(pointer);
  if (!window || copy.window.lock() != window) {
    // The window it began in is gone (or this is another window): the event is dropped and
    // whatever still follows the sequence hears that it was cancelled.
    forget(pointer);
    deliver(std::move(copy), PointerPhase::cancelled, location);
    return false;
  }
  deliver(std::move(copy), phase, location);
  return true;
}

bool InputRouter::begin(const std::shared_ptr<Window>& window, Point location, int pointer) {
  auto hit = window->hitTest(location);
  if (!hit) return false;
  Touch touch{pointer, window, {}, {}, false};
  for (View* view = hit.get(); view; view = view->superviewPointer()) {
    for (const auto& recognizer : view->gestureRecognizers()) {
      if (recognizer->isEnabled()) touch.recognizers.push_back(recognizer);
    }
    if (touch.control.expired()) {
      if (auto* control = dynamic_cast<Control*>(view); control && control->isEnabled()) {
        touch.control = std::static_pointer_cast<Control>(control->shared_from_this());
      }
    }
  }
  touches_.push_back(touch);
  deliver(std::move(touch), PointerPhase::down, location);
  return true;
}

void InputRouter::deliver(Touch touch, PointerPhase phase, Point location) {
  // Held for the length of the delivery: an action may release any of them.
  const auto recognizers = lockAll(touch.recognizers);
  const auto control = touch.control.lock();
  for (const auto& recognizer : recognizers) pass(*recognizer, phase, location);
  if (!control || touch.controlCancelled) return;
  const bool claimed = std::ranges::any_of(recognizers, [](const auto& r) {
    return r->isRecognizing() || r->state() == GestureRecognizer::State::ended;
  });
  if (claimed) {
    if (Touch* live = find(touch.pointer)) live->controlCancelled = true;
    control->touchCancelled();
    return;
  }
  pass(*control, phase, location);
}

}  // namespace platform
