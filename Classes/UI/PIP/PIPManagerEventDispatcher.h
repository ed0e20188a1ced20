#pragma once

#include <memory>

#include "Classes/UI/PIP/PIPState.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Graphics/Geometry.h"

namespace platform {
class PanGestureRecognizer;
class ViewController;
class Window;
}  // namespace platform

namespace brelum {

class PIPUsable;

// Lays a presented controller's view out for the manager's mode (the key window's bounds in
// full; a pipSize frame at one of six positions 15 points inside the safe area in pip), lets
// the user drag the floating window and snaps it to the nearest position on release, and
// lays it out again on rotation. It keeps no copy of the manager's state.
//
// The controller owns its dispatcher; the dispatcher, its animation blocks, its pan target
// and its rotation observer refer to it and to the controller weakly and do nothing once
// they are gone. When a dispatcher goes (the controller shown again gets a new one), it
// takes its pan recognizer off the controller's view, so the view never gathers one
// recognizer per presentation. Main thread only.
class PIPManagerEventDispatcher : public std::enable_shared_from_this<PIPManagerEventDispatcher> {
 public:
  // Attaches to `controller` (which must adopt PIPUsable): lays its view out for the current
  // state, enables dragging in pip, and tells the controller its initial state.
  [[nodiscard]] static std::shared_ptr<PIPManagerEventDispatcher> make(
      const std::shared_ptr<platform::ViewController>& controller);

  ~PIPManagerEventDispatcher();
  PIPManagerEventDispatcher(const PIPManagerEventDispatcher&) = delete;
  PIPManagerEventDispatcher& operator=(const PIPManagerEventDispatcher&) = delete;

  void updateFrame();
  void enterPIP();
  void enterFullScreen();

  [[nodiscard]] PIPPosition pipPosition() const noexcept { return pipPosition_; }

 private:
  explicit PIPManagerEventDispatcher(const std::shared_ptr<platform::ViewController>& controller);

  struct Scene;  // the key window's geometry and the controller, taken at the moment of use
  [[nodiscard]] std::optional<Scene> scene() const;

  void commonInit();
  void updatePIPFrame();
  void updatePIPPosition();
  void didEnterPIP();
  void didEnterFullScreen();
  void onTransition(platform::PanGestureRecognizer& recognizer);
  [[nodiscard]] const std::shared_ptr<platform::PanGestureRecognizer>& transitionGesture();
  // Runs `step` on this dispatcher inside an animation, if the dispatcher still exists then.
  void animate(double duration, void (PIPManagerEventDispatcher::*step)(),
               void (PIPManagerEventDispatcher::*completion)() = nullptr);

  std::weak_ptr<platform::ViewController> rootViewController_;
  std::shared_ptr<platform::PanGestureRecognizer> transitionGesture_;
  PIPPosition pipPosition_ = PIPPosition::bottomRight;
  platform::Point startOffset_;
  platform::NotificationCenter::ObserverToken deviceNotificationObserver_;
};

// The dispatcher attached to `controller`, or null.
[[nodiscard]] std::shared_ptr<PIPManagerEventDispatcher> pipEventDispatcher(
    const platform::ViewController& controller);
void setPipEventDispatcher(platform::ViewController& controller,
                           std::shared_ptr<PIPManagerEventDispatcher> dispatcher);

// Attaches a new dispatcher to `controller` when its type adopts PIPUsable, replacing any
// earlier one; otherwise does nothing.
void setupEventDispatcher(const std::shared_ptr<platform::ViewController>& controller);

}  // namespace brelum
