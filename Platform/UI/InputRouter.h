#pragma once

#include <memory>
#include <vector>

#include "Platform/Graphics/Geometry.h"

namespace platform {

class Control;
class GestureRecognizer;
class Window;

// The stage of one pointer (mouse button held, or finger) in its sequence.
enum class PointerPhase { down, moved, up, cancelled };

// Routes pointer sequences to what lies under them, as the phone platform routes touches:
// the view hit at touch-down keeps the whole sequence; the gesture recognizers of that view
// and its ancestors see each event first, then the nearest enabled control at or above the
// view tracks it, until a recognizer begins and claims the touch (the control's tracking is
// then cancelled). Every target is held weakly between events, so a window, view or control
// released mid-sequence simply stops receiving. Main thread only.
class InputRouter {
 public:
  // Answers whether the event reached anything.
  bool send(const std::shared_ptr<Window>& window, PointerPhase phase, Point location, int pointer);

 private:
  struct Touch {
    int pointer;
    std::weak_ptr<Window> window;
    std::vector<std::weak_ptr<GestureRecognizer>> recognizers;
    std::weak_ptr<Control> control;
    bool controlCancelled = false;
  };

  bool begin(const std::shared_ptr<Window>& window, Point location, int pointer);
  void deliver(Touch touch, PointerPhase phase, Point location);
  void forget(int pointer);
  [[nodiscard]] Touch* find(int pointer);

  std::vector<Touch> touches_;
};

}  // namespace platform
