#include "Platform/UI/Render/DesktopWindow.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "Platform/Dispatch/MainContext.h"
#include "Platform/Foundation/Console.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Render/DesktopDisplay.h"
#include "Platform/UI/Window.h"

namespace platform {
namespace {

constexpr double kSmallestSide = 1;

bool isLandscape(DeviceOrientation orientation) {
  return orientation == DeviceOrientation::landscapeLeft ||
         orientation == DeviceOrientation::landscapeRight;
}

int units(double points, double unitsPerPoint) {
  return static_cast<int>(std::lround(std::max(points, kSmallestSide) * unitsPerPoint));
}

}  // namespace

std::shared_ptr<DesktopWindow> DesktopWindow::show(const std::shared_ptr<Window>& window,
                                                   const std::string& title) {
  if (!window) return nullptr;
  auto display = detail::DesktopDisplay::shared();
  if (!display) return nullptr;
  auto desktopWindow = std::make_shared<DesktopWindow>(window, std::move(display));
  if (!desktopWindow->open(title)) return nullptr;
  return desktopWindow;
}

DesktopWindow::DesktopWindow(std::shared_ptr<Window> window,
                             std::shared_ptr<detail::DesktopDisplay> display)
    : window_(std::move(window)), display_(std::move(display)), frameTimer_(detail::mainContext()) {
}

DesktopWindow::~DesktopWindow() {
  close();
}

bool DesktopWindow::open(const std::string& title) {
  const auto size = window_->bounds().size;
  // Hidden until sized for the display's density, known only once the window exists.
  sdlWindow_ = SDL_CreateWindow(
      title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, units(size.width, 1),
      units(size.height, 1), SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
  if (!sdlWindow_) {
    Console::print(std::string("desktop: cannot open a window (") + SDL_GetError() + ")");
    return false;
  }
  adoptScale();
  frameInterval_ = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(1 / display_->refreshRate(sdlWindow_)));
  display_->addWindow(sdlWindow_, [weak = weak_from_this()](const SDL_Event& event) {
    if (auto self = weak.lock()) self->handle(event);
  });
  window_->setDisplayRequestHandler([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->scheduleFrame();
  });
  SDL_ShowWindow(sdlWindow_);
  scheduleFrame();
  display_->drain();
  return true;
}

void DesktopWindow::close() {
  if (!sdlWindow_) return;
  frameTimer_.cancel();
  frameScheduled_ = false;
  window_->setDisplayRequestHandler(nullptr);
  display_->removeWindow(sdlWindow_);
  SDL_DestroyWindow(std::exchange(sdlWindow_, nullptr));
  presentedSurface_ = nullptr;
  // A sequence under way ends where it is.
  if (std::exchange(mouseDown_, false)) handlePointer(PointerPhase::cancelled, {}, 0);
  for (const auto& [finger, pointer] : std::exchange(fingers_, {})) {
    handlePointer(PointerPhase::cancelled, {}, pointer);
  }
  // The last window to close lets SDL go.
  display_.reset();
}

// The density decides both the screen's scale and how many desktop units a point takes.
void DesktopWindow::adoptScale() {
  const double scale = display_->scale(sdlWindow_);
  int unitsWide = 0, pixelsWide = 0, height = 0;
  SDL_GetWindowSize(sdlWindow_, &unitsWide, &height);
  SDL_GetWindowSizeInPixels(sdlWindow_, &pixelsWide, &height);
  const double pixelsPerUnit = unitsWide > 0 && pixelsWide > 0 ? double(pixelsWide) / unitsWide : 1;
  unitsPerPoint_ = scale / pixelsPerUnit;
  Screen::main().setScale(scale);
  const auto size = window_->bounds().size;
  SDL_SetWindowSize(sdlWindow_, units(size.width, unitsPerPoint_),
                    units(size.height, unitsPerPoint_));
}

void DesktopWindow::handle(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      handleWindowEvent(event);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      // Touches arrive as touches; only the primary button is a finger.
      if (event.button.which == SDL_TOUCH_MOUSEID || event.button.button != SDL_BUTTON_LEFT) break;
      const bool down = event.type == SDL_MOUSEBUTTONDOWN;
      if (down == mouseDown_) break;
      mouseDown_ = down;
      handlePointer(down ? PointerPhase::down : PointerPhase::up,
                    {event.button.x / unitsPerPoint_, event.button.y / unitsPerPoint_}, 0);
      break;
    }
    case SDL_MOUSEMOTION:
      if (!mouseDown_ || event.motion.which == SDL_TOUCH_MOUSEID) break;
      handlePointer(PointerPhase::moved,
                    {event.motion.x / unitsPerPoint_, event.motion.y / unitsPerPoint_}, 0);
      break;
    case SDL_FINGERDOWN:
    case SDL_FINGERMOTION:
    case SDL_FINGERUP:
      handleFinger(event);
      break;
    default:
      break;
  }
}

void DesktopWindow::handleWindowEvent(const SDL_Event& event) {
  switch (event.window.event) {
    case SDL_WINDOWEVENT_CLOSE:
      close();
      if (auto handler = std::exchange(closeHandler_, nullptr)) handler();
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      Application::shared().setState(ApplicationState::active);
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      Application::shared().setState(ApplicationState::inactive);
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      adoptSize(event.window.data1, event.window.data2);
      break;
    case SDL_WINDOWEVENT_DISPLAY_CHANGED:
      adoptScale();
      break;
    case SDL_WINDOWEVENT_EXPOSED:
      present(true);
      break;
    default:
      break;
  }
}

void DesktopWindow::handlePointer(PointerPhase phase, Point location, int pointer) {
  Application::shared().sendPointer(window_, phase, location, pointer);
}

void DesktopWindow::handleFinger(const SDL_Event& event) {
  const auto& touch = event.tfinger;
  const auto size = window_->bounds().size;
  // Touch positions come as fractions of the window.
  const Point location{touch.x * size.width, touch.y * size.height};
  if (event.type == SDL_FINGERDOWN) {
    // Pointer 0 is the mouse; each finger down gets a number no finger down has.
    int pointer = 1;
    for (const auto& [finger, used] : fingers_) pointer = std::max(pointer, used + 1);
    fingers_[touch.fingerId] = pointer;
    handlePointer(PointerPhase::down, location, pointer);
    return;
  }
  auto found = fingers_.find(touch.fingerId);
  if (found == fingers_.end()) return;
  const int pointer = found->second;
  if (event.type == SDL_FINGERUP) fingers_.erase(found);
  handlePointer(event.type == SDL_FINGERUP ? PointerPhase::up : PointerPhase::moved, location,
                pointer);
}

// The person reshaped the window: the platform window takes the size, and a change between
// taller and wider turns the device.
void DesktopWindow::adoptSize(int width, int height) {
  const Size size{width / unitsPerPoint_, height / unitsPerPoint_};
  const auto frame = window_->frame();
  window_->setFrame({frame.origin, size});
  if (size.width == size.height) return;
  const bool landscape = size.width > size.height;
  auto& application = Application::shared();
  if (landscape != isLandscape(application.orientation())) {
    application.setOrientation(landscape ? DeviceOrientation::landscapeLeft
                                         : DeviceOrientation::portrait);
  }
}

void DesktopWindow::scheduleFrame() {
  if (frameScheduled_ || !sdlWindow_) return;
  frameScheduled_ = true;
  // At most one frame per refresh of the display.
  frameTimer_.expires_at(std::max(Clock::now(), lastFrame_ + frameInterval_));
  frameTimer_.async_wait([weak = weak_from_this()](boost::system::error_code error) {
    if (error == boost::asio::error::operation_aborted) return;
    if (auto self = weak.lock()) self->drawFrame();
  });
}

void DesktopWindow::drawFrame() {
  frameScheduled_ = false;
  if (!sdlWindow_) return;
  const auto now = Clock::now();
  lastFrame_ = now;
  renderer_.render(*window_, now);
  window_->didDisplay();
  present(false);
  if (window_->hasRunningAnimations(now)) scheduleFrame();
}

// Streams the redrawn pixels (all of them when asked, or when the desktop's surface is new)
// to the desktop window.
void DesktopWindow::present(bool everything) {
  if (!sdlWindow_) return;
  SDL_Surface* target = SDL_GetWindowSurface(sdlWindow_);
  const auto pixels = renderer_.pixels();
  if (!target || pixels.empty()) return;
  everything = everything || target != presentedSurface_;
  presentedSurface_ = target;
  std::vector<SDL_Rect> rects;
  if (everything) {
    rects.push_back({0, 0, renderer_.pixelWidth(), renderer_.pixelHeight()});
  } else {
    for (const auto& rect : renderer_.lastRedrawn()) {
      rects.push_back({rect.x, rect.y, rect.width, rect.height});
    }
  }
  if (rects.empty()) return;
  // The pixels are premultiplied: copied over black without blending, they are what shows.
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
      const_cast<std::uint8_t*>(pixels.data()), renderer_.pixelWidth(), renderer_.pixelHeight(), 32,
      renderer_.bytesPerRow(), SDL_PIXELFORMAT_ARGB8888);
  if (!source) return;
  SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
  for (auto rect : rects) {
    SDL_Rect to = rect;
    SDL_BlitSurface(source, &rect, target, &to);
  }
  SDL_FreeSurface(source);
  SDL_UpdateWindowSurfaceRects(sdlWindow_, rects.data(), static_cast<int>(rects.size()));
  ++framesShown_;
  // Presenting waits for the server, and Xlib queues what arrives meanwhile.
  display_->drain();
}

}  // namespace platform
