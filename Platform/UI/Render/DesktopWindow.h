#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <boost/asio/steady_timer.hpp>

#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/InputRouter.h"
#include "Platform/UI/Render/Renderer.h"

struct SDL_Window;
union SDL_Event;

namespace platform {

class Window;

namespace detail {
class DesktopDisplay;
}  // namespace detail

// A platform window shown in a window of the desktop (SDL2), driven by the main loop:
//   - drawing: the window's pixels are redrawn where they changed and streamed to the desktop
//     when the model asks for display, and every frame while animations run, at most at the
//     display's refresh rate; nothing runs while nothing changes;
//   - input: mouse presses and drags, and touches, reach the view tree through the
//     application's pointer input;
//   - the desktop's state: keyboard focus is the application's active state; the window's
//     shape (taller or wider) is the device orientation, the platform window taking the new
//     size; the display's pixel density is the screen's scale.
//
// Without a display (neither DISPLAY nor WAYLAND_DISPLAY set) show() answers null and the
// program runs headless; snapshots work either way.
//
// Main thread only. The desktop window lives as long as this object (or until the person
// closes it); it keeps the platform window alive.
class DesktopWindow : public std::enable_shared_from_this<DesktopWindow> {
 public:
  [[nodiscard]] static std::shared_ptr<DesktopWindow> show(const std::shared_ptr<Window>& window,
                                                           const std::string& title);

  ~DesktopWindow();
  DesktopWindow(const DesktopWindow&) = delete;
  DesktopWindow& operator=(const DesktopWindow&) = delete;

  [[nodiscard]] const std::shared_ptr<Window>& window() const noexcept { return window_; }

  // False once closed, by the person or by close().
  [[nodiscard]] bool isOpen() const noexcept { return sdlWindow_ != nullptr; }
  void close();
  // Called when the person closes the window, after it has gone.
  void setCloseHandler(std::function<void()> handler) { closeHandler_ = std::move(handler); }

  // The frames shown so far.
  [[nodiscard]] std::uint64_t framesShown() const noexcept { return framesShown_; }

  // For make_shared only; use show().
  DesktopWindow(std::shared_ptr<Window> window, std::shared_ptr<detail::DesktopDisplay> display);

 private:
  using Clock = std::chrono::steady_clock;

  bool open(const std::string& title);
  void handle(const SDL_Event& event);
  void handleWindowEvent(const SDL_Event& event);
  void handlePointer(PointerPhase phase, Point location, int pointer);
  void handleFinger(const SDL_Event& event);
  void adoptSize(int width, int height);
  void adoptScale();
  void scheduleFrame();
  void drawFrame();
  void present(bool everything);

  std::shared_ptr<Window> window_;
  std::shared_ptr<detail::DesktopDisplay> display_;
  SDL_Window* sdlWindow_ = nullptr;
  // The desktop's window size units per point: the scale where the desktop counts pixels
  // (X11), 1 where it scales windows itself (Wayland).
  double unitsPerPoint_ = 1;
  Renderer renderer_;
  const void* presentedSurface_ = nullptr;  // the desktop's surface the pixels last went to
  boost::asio::steady_timer frameTimer_;
  bool frameScheduled_ = false;
  Clock::time_point lastFrame_;
  Clock::duration frameInterval_;
  bool mouseDown_ = false;
  std::map<std::int64_t, int> fingers_;  // touch finger id -> pointer number
  std::function<void()> closeHandler_;
  std::uint64_t framesShown_ = 0;
};

}  // namespace platform
