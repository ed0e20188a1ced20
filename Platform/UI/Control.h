#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Platform/UI/View.h"

namespace platform {

class NibCoder;

// Bits of a control's state; normal is none of them.
enum class ControlState : std::uint32_t {
  normal = 0,
  highlighted = 1u << 0,
  disabled = 1u << 1,
  selected = 1u << 2,
};

// Bits naming what happened to a control.
enum class ControlEvents : std::uint32_t {
  touchDown = 1u << 0,
  touchDragInside = 1u << 2,
  touchDragOutside = 1u << 3,
  touchUpInside = 1u << 6,
  touchUpOutside = 1u << 7,
  touchCancel = 1u << 8,
  valueChanged = 1u << 12,
};

[[nodiscard]] constexpr ControlEvents operator|(ControlEvents a, ControlEvents b) {
  return ControlEvents(std::uint32_t(a) | std::uint32_t(b));
}
[[nodiscard]] constexpr bool intersects(ControlEvents a, ControlEvents b) {
  return (std::uint32_t(a) & std::uint32_t(b)) != 0;
}

// A view that turns touches into actions: it tracks a touch that starts on it (highlighted
// while the touch stays inside its bounds) and, when the touch lifts, sends touchUpInside or
// touchUpOutside to the actions registered for those events.
//
// A target-action pair holds its target weakly: a released target receives nothing. An
// action without a target (addAction) stands for a free function or a class-level action.
// Actions run in the order they were added. Main thread only.
class Control : public View {
 public:
  Control() = default;
  explicit Control(const NibCoder& coder);

  [[nodiscard]] bool isEnabled() const noexcept { return enabled_; }
  void setEnabled(bool enabled);
  [[nodiscard]] bool isSelected() const noexcept { return selected_; }
  void setSelected(bool selected);
  [[nodiscard]] bool isHighlighted() const noexcept { return highlighted_; }
  void setHighlighted(bool highlighted);
  [[nodiscard]] ControlState state() const noexcept;

  template <class T>
  void addTarget(const std::shared_ptr<T>& target, void (T::*action)(), ControlEvents events) {
    addEntry(
        target,
        [action](const std::shared_ptr<void>& held, Control&) {
          (static_cast<T*>(held.get())->*action)();
        },
        events);
  }
  template <class T, class Sender>
  requires std::derived_from<Sender, Control>
  void addTarget(const std::shared_ptr<T>& target, void (T::*action)(Sender&),
                 ControlEvents events) {
    addEntry(
        target,
        [action](const std::shared_ptr<void>& held, Control& sender) {
          if (auto* typed = dynamic_cast<Sender*>(&sender))
            (static_cast<T*>(held.get())->*action)(*typed);
        },
        events);
  }
  void addAction(std::function<void()> action, ControlEvents events);
  // Removes every pair with `target` for any of `events` (released targets go too).
  void removeTarget(const void* target, ControlEvents events);

  // Runs the actions registered for any of `events`.
  void sendActions(ControlEvents events);

  // Touch tracking, by the application's input routing; points are in window coordinates.
  void touchBegan(Point windowPoint);
  void touchMoved(Point windowPoint);
  void touchEnded(Point windowPoint);
  void touchCancelled();

 protected:
  // Called when the state changes (a button shows another image).
  virtual void stateDidChange() {}

 private:
  struct Entry {
    std::weak_ptr<void> target;
    bool hasTarget;
    std::function<void(const std::shared_ptr<void>&, Control&)> invoke;
    ControlEvents events;
  };

  void addEntry(std::shared_ptr<void> target,
                std::function<void(const std::shared_ptr<void>&, Control&)> invoke,
                ControlEvents events);
  [[nodiscard]] bool isInside(Point windowPoint) const;

  std::vector<Entry> entries_;
  bool enabled_ = true;
  bool selected_ = false;
  bool highlighted_ = false;
  bool tracking_ = false;
};

}  // namespace platform
