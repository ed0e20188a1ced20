#include "Platform/UI/Render/DesktopDisplay.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "Platform/Dispatch/MainContext.h"
#include "Platform/Dispatch/MainThread.h"
#include "Platform/Foundation/Console.h"

// Last: it brings Xlib's macros (None, Status, Bool...), which must not reach the headers
// above.
#include <SDL_syswm.h>
#include <X11/Xresource.h>
#include <wayland-client-core.h>

namespace platform::detail {
namespace {

constexpr double kDefaultRefreshRate = 60;
constexpr double kDesktopDotsPerInch = 96;
constexpr double kMaximumScale = 3;

bool isSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// Hints for an SDL that lives inside someone else's program and main loop.
void configureSDL() {
  // The host owns SIGINT and SIGTERM.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Keeping the screen saver off means waking up every few seconds to say so.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  // Touches and mouse presses each arrive once, as what they are.
  SDL_SetHint(SDL_HINT_TOUCH_MOUSE_EVENTS, "0");
  SDL_SetHint(SDL_HINT_MOUSE_TOUCH_EVENTS, "0");
  // A press on a window without focus is a press, as on a phone's screen.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  // Pixels go to the window as they are (shared memory on X11): a GPU texture would load a
  // GL stack for a copy.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // Closing a window ends nothing by itself: its owner decides.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
}

std::optional<std::uint32_t> windowIDOf(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      return event.window.windowID;
    case SDL_MOUSEMOTION:
      return event.motion.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      return event.button.windowID;
    case SDL_FINGERDOWN:
    case SDL_FINGERUP:
    case SDL_FINGERMOTION:
      return event.tfinger.windowID;
    default:
      return std::nullopt;
  }
}

// The descriptor of the display connection behind `window`; -1 for a desktop SDL reaches
// some other way.
int connectionDescriptor(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info)) return -1;
  switch (info.subsystem) {
    case SDL_SYSWM_X11:
      return ConnectionNumber(info.info.x11.display);
    case SDL_SYSWM_WAYLAND:
      return wl_display_get_fd(info.info.wl.display);
    default:
      return -1;
  }
}

double wholeScale(double scale) {
  if (!std::isfinite(scale)) return 1;
  return std::clamp(std::round(scale), 1.0, kMaximumScale);
}

double xftDotsPerInch(Display* display) {
  const char* resources = XResourceManagerString(display);
  if (!resources) return kDesktopDotsPerInch;
  XrmInitialize();
  XrmDatabase database = XrmGetStringDatabase(resources);
  char* type = nullptr;
  XrmValue value{};
  double dotsPerInch = kDesktopDotsPerInch;
  if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
    char* end = nullptr;
    double parsed = std::strtod(value.addr, &end);
    if (end != value.addr && parsed > 0) dotsPerInch = parsed;
  }
  XrmDestroyDatabase(database);
  return dotsPerInch;
}

}  // namespace

bool DesktopDisplay::hasDisplayEnvironment() {
  return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
}

std::shared_ptr<DesktopDisplay> DesktopDisplay::shared() {
  detail::requireMainThread("DesktopDisplay");
  static std::weak_ptr<DesktopDisplay> current;
  if (auto display = current.lock()) return display;
  if (!hasDisplayEnvironment()) return nullptr;
  configureSDL();
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    Console::print(std::string("desktop: cannot open the display (") + SDL_GetError() +
                   "); running headless");
    return nullptr;
  }
  std::shared_ptr<DesktopDisplay> display(new DesktopDisplay);
  current = display;
  return display;
}

DesktopDisplay::~DesktopDisplay() {
  if (connection_) {
    connection_->cancel();
    connection_->release();
  }
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  // Only SDL_Quit lets go of what SDL holds process-wide (its D-Bus connection), and only
  // when the host uses no SDL of its own.
  if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
}

void DesktopDisplay::addWindow(SDL_Window* window, EventHandler handler) {
  handlers_[SDL_GetWindowID(window)] = std::move(handler);
  if (!connection_) watchConnection(window);
}

void DesktopDisplay::removeWindow(SDL_Window* window) {
  handlers_.erase(SDL_GetWindowID(window));
}

void DesktopDisplay::watchConnection(SDL_Window* window) {
  int fd = connectionDescriptor(window);
  if (fd < 0) {
    // Events still arrive whenever something else makes SDL read them; say why input lags.
    Console::print(std::string("desktop: no connection to watch on the ") +
                   SDL_GetCurrentVideoDriver() + " video driver; input waits for redraws");
    return;
  }
  connection_.emplace(mainContext(), fd);
  awaitReadable();
}

void DesktopDisplay::awaitReadable() {
  connection_->async_wait(boost::asio::posix::descriptor_base::wait_read,
                          [weak = weak_from_this()](boost::system::error_code error) {
                            if (error == boost::asio::error::operation_aborted) return;
                            auto self = weak.lock();
                            if (!self) return;
                            self->drain();
                            if (self->connection_) self->awaitReadable();
                          });
}

void DesktopDisplay::drain() {
  // The loop below empties SDL's queue; a handler that drains again adds nothing to it.
  if (draining_) return;
  // A handler may release the last window, and with it this object.
  auto keepAlive = shared_from_this();
  draining_ = true;
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    auto id = windowIDOf(event);
    if (!id) continue;
    auto found = handlers_.find(*id);
    if (found == handlers_.end()) continue;
    // The handler may remove itself.
    auto handler = found->second;
    handler(event);
  }
  draining_ = false;
}

double DesktopDisplay::refreshRate(SDL_Window* window) const {
  SDL_DisplayMode mode;
  int index = SDL_GetWindowDisplayIndex(window);
  if (index < 0 || SDL_GetCurrentDisplayMode(index, &mode) != 0 || mode.refresh_rate <= 0) {
    return kDefaultRefreshRate;
  }
  return mode.refresh_rate;
}

double DesktopDisplay::scale(SDL_Window* window) const {
  int points = 0, pixels = 0, height = 0;
  SDL_GetWindowSize(window, &points, &height);
  SDL_GetWindowSizeInPixels(window, &pixels, &height);
  // Desktops that scale windows themselves (Wayland) give the window more pixels than points.
  if (points > 0 && pixels > points) return wholeScale(double(pixels) / points);
  // On X11 the desktop's chosen density is the Xft.dpi resource (monitors' reported sizes
  // are too often wrong to compute one from).
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 1;
  return wholeScale(xftDotsPerInch(info.info.x11.display) / kDesktopDotsPerInch);
}

}  // namespace platform::detail
