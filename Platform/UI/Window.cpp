#include "Platform/UI/Window.h"

#include <utility>

#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/ViewController.h"

namespace platform {

std::shared_ptr<Window> Window::make(const Rect& frame) {
  return View::make<Window>(frame);
}

Window::Window() {
  isWindow_ = true;
  hidden_ = true;
  Application::shared().add(this);
}

Window::Window(const NibCoder& coder) : View(coder) {
  isWindow_ = true;
  Application::shared().add(this);
}

Window::~Window() {
  Application::shared().remove(this);
}

bool Window::isKeyWindow() const {
  return Application::shared().keyWindow_ == this;
}

void Window::makeKey() {
  Application::shared().keyWindow_ = this;
}

void Window::makeKeyAndVisible() {
  makeKey();
  setHidden(false);
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
  if (controller == rootViewController_) return;
  auto previous = std::exchange(rootViewController_, std::move(controller));
  // The previous root's view may have been moved elsewhere by the host since.
  if (previous && previous->isViewLoaded() && previous->view()->superviewPointer() == this) {
    previous->view()->removeFromSuperview();
  }
  if (!rootViewController_) return;
  const auto& view = rootViewController_->view();
  view->setFrame(bounds());
  insertSubview(view, 0);
}

void Window::fitRootView() {
  if (!rootViewController_ || !rootViewController_->isViewLoaded()) return;
  const auto& view = rootViewController_->view();
  if (view->superviewPointer() == this) view->setFrame(bounds());
}

void Window::setSafeAreaInsets(const EdgeInsets& insets) {
  if (insets == windowSafeAreaInsets_) return;
  windowSafeAreaInsets_ = insets;
  setNeedsLayout();
}

double Window::screenScale() const {
  return Screen::main().scale();
}

void Window::setDisplayRequestHandler(std::function<void()> handler) {
  displayRequestHandler_ = std::move(handler);
  displayRequested_ = false;
}

void Window::displayChanged() {
  ++displayGeneration_;
  if (displayRequested_ || !displayRequestHandler_) return;
  displayRequested_ = true;
  displayRequestHandler_();
}

}  // namespace platform
