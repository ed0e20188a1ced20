#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "Classes/UI/PIP/PIPState.h"
#include "Classes/UI/PIP/PIPUsable.h"

namespace platform {
class Window;
}

namespace brelum {

// Floats one view controller's view over the application's key window, filling it (full)
// or as a small rounded window with a close button (pip) that the user drags between six
// positions. There is at most one presentation at a time; its state is static and the
// manager is never instantiated.
//
// Main thread only, like every interface object. Animation completions and the close
// button's action arrive on the main queue.
//
// What arrives during an animated dismissal, while the outgoing view fades:
//   - show (of any controller, the outgoing one included) completes the dismissal at once
//     (view removed, its completion run) and then shows the new controller;
//   - startPIPMode / stopPIPMode do nothing: the presentation is on its way out;
//   - the fade's end then finds its dismissal done and changes nothing.
// When show replaces a shown controller, its completion runs once, after the new fade-in.
class PIPManager {
 public:
  PIPManager() = delete;

  // The view tag that marks the close button.
  static constexpr std::int64_t closeButtonTag = 8887654;

  // Whether the floating window mode is on.
  [[nodiscard]] static bool isPIP();
  // Whether a controller is shown, also while its view is hidden by toggle.
  [[nodiscard]] static bool isActive();
  [[nodiscard]] static std::shared_ptr<platform::ViewController> visibleViewController();

  // The host's handler for a tap on the close button. The manager does nothing else on a
  // tap: the host decides, for example by dismissing.
  [[nodiscard]] static const std::function<void()>& onClosePipTapped();
  static void setOnClosePipTapped(std::function<void()> handler);

  // Shows `controller` on the key window, replacing (without fading) a shown one, the same
  // one included, which starts afresh from its initial state and position. Without a key
  // window nothing changes and `completion` does not run; otherwise it runs when the 0.25 s
  // fade-in ends.
  template <PIPUsableViewController C>
  static void show(const std::shared_ptr<C>& controller,
                   std::function<void()> completion = nullptr) {
    showController(controller, std::move(completion));
  }

  // Ends the presentation: the view fades out over 0.15 s (or goes at once), then
  // `completion` runs. With no controller shown, `completion` does not run.
  static void dismiss(bool animated, std::function<void()> completion = nullptr);

  // Hides or shows the presented view; nullopt flips it. Showing restarts the presentation.
  static void toggle(std::optional<bool> visible);

  // Shows the current controller afresh when its view is visible.
  static void showIfNeeds();

 private:
  friend class PIPManagerEventDispatcher;
  friend void startPIPMode(platform::ViewController&);
  friend void stopPIPMode(platform::ViewController&);
  friend void setNeedUpdatePIPSize(platform::ViewController&);

  struct Presentation;
  [[nodiscard]] static Presentation& presentation();

  [[nodiscard]] static _PIPState state();
  // Every assignment, of the value already held too, restyles the shown view.
  static void setState(_PIPState state);
  static void stateUpdated();

  static void showController(std::shared_ptr<platform::ViewController> controller,
                             std::function<void()> completion);
  static void showFirst(const std::shared_ptr<platform::Window>& window,
                        std::shared_ptr<platform::ViewController> controller,
                        std::function<void()> completion);
  static void finishDismissal(std::uint64_t dismissal);
  static void startPIPMode();
  static void stopPIPMode();
  static void addCloseButton();
  static void removeCloseButton();
  static void reset();
  static void closeButtonTapped();
};

// The picture-in-picture operations every PIPUsable view controller has. Start and stop act
// on the controller shown now, whichever it is.
void startPIPMode(platform::ViewController& controller);
void stopPIPMode(platform::ViewController& controller);
// Lays the floating window out again after `controller` changed what pipSize answers.
void setNeedUpdatePIPSize(platform::ViewController& controller);
// Removes the controller's view from its superview (after a 0.15 s fade when animated), then
// runs `completion`, also when the controller is gone by then.
void pipDismiss(const std::shared_ptr<platform::ViewController>& controller, bool animated,
                std::function<void()> completion);

// The first window of the application's window list that is key, looked up afresh.
[[nodiscard]] std::shared_ptr<platform::Window> keyWindow();

}  // namespace brelum
