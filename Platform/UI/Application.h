#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/InputRouter.h"

namespace platform {

class Window;

// Whether the application is in front and receiving events.
enum class ApplicationState { active, inactive, background };

// How the device is held; the desktop window derives it from its shape.
enum class DeviceOrientation {
  unknown,
  portrait,
  portraitUpsideDown,
  landscapeLeft,
  landscapeRight,
  faceUp,
  faceDown,
};

// The running application: its windows, its state and the device's orientation. Hosts, tests
// and the desktop window set the state and the orientation; the changes are announced on the
// default notification centre, on the calling (main) thread.
class Application {
 public:
  static constexpr std::string_view kDidBecomeActiveNotification =
      "UIApplicationDidBecomeActiveNotification";
  static constexpr std::string_view kWillResignActiveNotification =
      "UIApplicationWillResignActiveNotification";
  static constexpr std::string_view kDeviceOrientationDidChangeNotification =
      "UIDeviceOrientationDidChangeNotification";

  [[nodiscard]] static Application& shared();

  // Every live window, in the order they were made.
  [[nodiscard]] std::vector<std::shared_ptr<Window>> windows() const;
  // The first window of windows() that reports itself key, or null.
  [[nodiscard]] std::shared_ptr<Window> keyWindow() const;

  [[nodiscard]] ApplicationState state() const noexcept { return state_; }
  // Entering active posts kDidBecomeActiveNotification; leaving it posts
  // kWillResignActiveNotification (before the state is left, as the name says). Setting the
  // current state posts nothing.
  void setState(ApplicationState state);

  [[nodiscard]] DeviceOrientation orientation() const noexcept { return orientation_; }
  // Posts kDeviceOrientationDidChangeNotification when the orientation changes.
  void setOrientation(DeviceOrientation orientation);

  // Feeds one event of pointer `pointer` at `location` (in the window's coordinates): the
  // desktop window, a host or a test drives input this way. Events for a window that is gone
  // are ignored (a sequence under way there ends). Answers whether the event reached a view.
  bool sendPointer(const std::weak_ptr<Window>& window, PointerPhase phase, Point location,
                   int pointer = 0);

 private:
  friend class Window;

  Application() = default;

  void add(Window* window);
  void remove(Window* window);

  std::vector<Window*> windows_;  // registered and removed by the windows themselves
  Window* keyWindow_ = nullptr;
  InputRouter input_;
  ApplicationState state_ = ApplicationState::active;
  DeviceOrientation orientation_ = DeviceOrientation::portrait;
};

}  // namespace platform
