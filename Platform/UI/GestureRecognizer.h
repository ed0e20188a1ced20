#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "Platform/Foundation/Object.h"
#include "Platform/Graphics/Geometry.h"

namespace platform {

class View;

// Recognises a gesture from the touches on its view (and the view's subviews) and tells its
// targets as the gesture goes through its states. Touches reach recognizers before they
// reach controls; a recognizer that begins cancels the control's tracking of the touch.
//
// Targets are held weakly: an action never reaches a target that has been released. The
// view owns its recognizers. Main thread only.
class GestureRecognizer : public Object {
 public:
  enum class State { possible, began, changed, ended, cancelled, failed };

  ~GestureRecognizer() override;

  [[nodiscard]] State state() const noexcept { return state_; }

  // Disabling a recognizer in the middle of a gesture cancels it.
  [[nodiscard]] bool isEnabled() const noexcept { return enabled_; }
  void setEnabled(bool enabled);

  // The view it is attached to, or null.
  [[nodiscard]] std::shared_ptr<View> view() const;

  // Calls `action` on `target` with this recognizer (as R, the recognizer's own type) at
  // every state change that reports: began, changed, ended, cancelled.
  template <class T, class R>
  requires std::derived_from<R, GestureRecognizer>
  void addTarget(const std::shared_ptr<T>& target, void (T::*action)(R&)) {
    targets_.push_back({target, [action](const std::shared_ptr<void>& held, GestureRecognizer& r) {
                          if (auto* recognizer = dynamic_cast<R*>(&r)) {
                            (static_cast<T*>(held.get())->*action)(*recognizer);
                          }
                        }});
  }
  void removeTarget(const void* target);

  // Where the gesture's touch is now, in `view`'s coordinates (the window's when null).
  [[nodiscard]] Point location(const View* view) const;

  // Touch delivery, by the application's input routing; points are in window coordinates.
  void touchBegan(Point windowPoint);
  void touchMoved(Point windowPoint);
  void touchEnded(Point windowPoint);
  void touchCancelled();

  // Whether the recognizer has claimed its touch (began and not yet over).
  [[nodiscard]] bool isRecognizing() const noexcept {
    return state_ == State::began || state_ == State::changed;
  }

 protected:
  GestureRecognizer() = default;

  virtual void began(Point windowPoint) = 0;
  virtual void moved(Point windowPoint) = 0;
  virtual void ended(Point windowPoint) = 0;

  // Changes the state, telling the targets when the new state reports.
  void setState(State state);
  [[nodiscard]] Point currentPoint() const noexcept { return current_; }

 private:
  friend class View;

  struct Target {
    std::weak_ptr<void> target;
    std::function<void(const std::shared_ptr<void>&, GestureRecognizer&)> invoke;
  };

  void sendActions();
  void resetIfOver();

  State state_ = State::possible;
  bool enabled_ = true;
  bool tracking_ = false;
  Point current_;
  std::vector<Target> targets_;
  View* view_ = nullptr;  // set and cleared by the view
};

}  // namespace platform
