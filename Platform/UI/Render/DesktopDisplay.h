#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include <boost/asio/posix/stream_descriptor.hpp>

union SDL_Event;
struct SDL_Window;

namespace platform::detail {

// The process's connection to the desktop (SDL's video subsystem), driven by the main loop:
// the display connection's descriptor is watched on the main queue's I/O context, and SDL's
// events are pumped when it turns readable, then handed to the window they name. Nothing
// runs while the desktop is quiet: no second loop, no polling timer.
//
// Xlib also reads events off the connection while it waits for replies (presenting a frame
// syncs), leaving them in its queue where no readable descriptor announces them; so every
// SDL call that talks to the server is followed by drain().
//
// Main thread only. Shared by the desktop windows: it opens with the first and closes SDL's
// video when the last lets go.
class DesktopDisplay : public std::enable_shared_from_this<DesktopDisplay> {
 public:
  using EventHandler = std::function<void(const SDL_Event&)>;

  // False when the process has no display to show windows on (neither DISPLAY nor
  // WAYLAND_DISPLAY names one): the program then runs headless.
  [[nodiscard]] static bool hasDisplayEnvironment();

  // The open connection; nullptr when headless or when the desktop refused it (one console
  // line says why).
  [[nodiscard]] static std::shared_ptr<DesktopDisplay> shared();

  ~DesktopDisplay();
  DesktopDisplay(const DesktopDisplay&) = delete;
  DesktopDisplay& operator=(const DesktopDisplay&) = delete;

  // Routes the events of `window` to `handler` until removeWindow; the first window also
  // starts the watch on the connection.
  void addWindow(SDL_Window* window, EventHandler handler);
  void removeWindow(SDL_Window* window);

  // Dispatches every event SDL has or can read without waiting.
  void drain();

  // The display's refresh rate in hertz (60 when it does not say).
  [[nodiscard]] double refreshRate(SDL_Window* window) const;
  // Device pixels per point for `window`: the density the desktop chose (its scale factor,
  // or its dots per inch over 96), rounded to a whole factor from 1 to 3.
  [[nodiscard]] double scale(SDL_Window* window) const;

 private:
  DesktopDisplay() = default;

  void watchConnection(SDL_Window* window);
  void awaitReadable();

  std::map<std::uint32_t, EventHandler> handlers_;
  // Borrowed from SDL, which closes it: released, never closed, here.
  std::optional<boost::asio::posix::stream_descriptor> connection_;
  bool draining_ = false;
};

}  // namespace platform::detail
