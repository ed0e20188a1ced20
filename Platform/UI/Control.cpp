#include "Platform/UI/Control.h"

#include <algorithm>
#include <utility>

#include "Platform/UI/NibCoder.h"

namespace platform {

Control::Control(const NibCoder& coder) : View(coder) {
  if (auto enabled = coder.decodeBool("enabled")) enabled_ = *enabled;
  if (auto selected = coder.decodeBool("selected")) selected_ = *selected;
}

void Control::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (!enabled) tracking_ = false;
  stateDidChange();
  setNeedsDisplay();
}

void Control::setSelected(bool selected) {
  if (selected == selected_) return;
  selected_ = selected;
  stateDidChange();
  setNeedsDisplay();
}

void Control::setHighlighted(bool highlighted) {
  if (highlighted == highlighted_) return;
  highlighted_ = highlighted;
  stateDidChange();
  setNeedsDisplay();
}

ControlState Control::state() const noexcept {
  std::uint32_t bits = 0;
  if (highlighted_) bits |= std::uint32_t(ControlState::highlighted);
  if (!enabled_) bits |= std::uint32_t(ControlState::disabled);
  if (selected_) bits |= std::uint32_t(ControlState::selected);
  return ControlState(bits);
}

void Control::addEntry(std::shared_ptr<void> target,
                       std::function<void(const std::shared_ptr<void>&, Control&)> invoke,
                       ControlEvents events) {
  entries_.push_back({target, target != nullptr, std::move(invoke), events});
}

void Control::addAction(std::function<void()> action, ControlEvents events) {
  if (!action) return;
  addEntry(
      nullptr, [action = std::move(action)](const std::shared_ptr<void>&, Control&) { action(); },
      events);
}

void Control::removeTarget(const void* target, ControlEvents events) {
  std::erase_if(entries_, [&](const Entry& entry) {
    if (!entry.hasTarget) return false;
    auto held = entry.target.lock();
    return !held || (held.get() == target && intersects(entry.events, events));
  });
}

void Control::sendActions(ControlEvents events) {
  // An action may remove this control from its window (the last owner) or change the list.
  auto self = sharedAs<Control>();
  const auto entries = entries_;
  for (const auto& entry : entries) {
    if (!intersects(entry.events, events)) continue;
    if (!entry.hasTarget) {
      entry.invoke(nullptr, *this);
    } else if (auto target = entry.target.lock()) {
      entry.invoke(target, *this);
    }
  }
}

bool Control::isInside(Point windowPoint) const {
  return bounds().contains(convertFrom(windowPoint, nullptr));
}

void Control::touchBegan(Point) {
  if (!enabled_) return;
  tracking_ = true;
  setHighlighted(true);
  sendActions(ControlEvents::touchDown);
}

void Control::touchMoved(Point windowPoint) {
  if (!tracking_) return;
  const bool inside = isInside(windowPoint);
  setHighlighted(inside);
  sendActions(inside ? ControlEvents::touchDragInside : ControlEvents::touchDragOutside);
}

void Control::touchEnded(Point windowPoint) {
  if (!std::exchange(tracking_, false)) return;
  setHighlighted(false);
  sendActions(isInside(windowPoint) ? ControlEvents::touchUpInside : ControlEvents::touchUpOutside);
}

void Control::touchCancelled() {
  if (!std::exchange(tracking_, false)) return;
  setHighlighted(false);
  sendActions(ControlEvents::touchCancel);
}

}  // namespace platform
