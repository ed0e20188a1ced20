#include "Platform/UI/Application.h"

#include <algorithm>
#include <string>

#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/UI/Window.h"

namespace platform {

Application& Application::shared() {
  static Application application;
  return application;
}

std::vector<std::shared_ptr<Window>> Application::windows() const {
  std::vector<std::shared_ptr<Window>> live;
  live.reserve(windows_.size());
  for (Window* window : windows_) {
    // A window still being made or already being destroyed is not listed.
    if (auto held = window->weak_from_this().lock()) {
      live.push_back(std::static_pointer_cast<Window>(std::move(held)));
    }
  }
  return live;
}

std::shared_ptr<Window> Application::keyWindow() const {
  for (auto& window : windows()) {
    if (window->isKeyWindow()) return window;
  }
  return nullptr;
}

void Application::setState(ApplicationState state) {
  if (state == state_) return;
  const ApplicationState old = state_;
  if (old == ApplicationState::active) {
    NotificationCenter::defaultCenter()->post(std::string(kWillResignActiveNotification));
  }
  state_ = state;
  if (state == ApplicationState::active) {
    NotificationCenter::defaultCenter()->post(std::string(kDidBecomeActiveNotification));
  }
}

void Application::setOrientation(DeviceOrientation orientation) {
  if (orientation == orientation_) return;
  orientation_ = orientation;
  NotificationCenter::defaultCenter()->post(std::string(kDeviceOrientationDidChangeNotification));
}

bool Application::sendPointer(const std::weak_ptr<Window>& window, PointerPhase phase,
                              Point location, int pointer) {
  return input_.send(window.lock(), phase, location, pointer);
}

void Application::add(Window* window) {
  windows_.push_back(window);
}

void Application::remove(Window* window) {
  std::erase(windows_, window);
  if (keyWindow_ == window) keyWindow_ = nullptr;
}

}  // namespace platform
