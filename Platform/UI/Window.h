#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "Platform/UI/View.h"

namespace platform {

class NibCoder;
class ViewController;

// The root of a view tree that is shown. The application lists every window in the order
// they were made; at most one is normally key (receives keyboard focus), though a subclass
// may report otherwise. A window starts hidden; makeKeyAndVisible shows it.
//
// The root view controller's view fills the window: it takes the window's bounds when set
// and again whenever their size changes (the host setting the frame, the desktop window
// reshaped), at once, so that what observes the change reads the new size; its own layout
// then runs with the window's next layout pass.
//
// The renderer learns when to draw without the model drawing anything: every visual change
// in the window's tree increases displayGeneration(), and the display request handler is
// called on the first change after each didDisplay() (one call however many changes
// follow). The handler runs inside the setter that made the change: it must only schedule
// the drawing, not change the tree.
//
// Main thread only.
class Window : public View {
 public:
  [[nodiscard]] static std::shared_ptr<Window> make(const Rect& frame);

  Window();
  explicit Window(const NibCoder& coder);
  ~Window() override;

  [[nodiscard]] virtual bool isKeyWindow() const;
  // Makes this the key window; the previous key window resigns.
  void makeKey();
  void makeKeyAndVisible();

  [[nodiscard]] const std::shared_ptr<ViewController>& rootViewController() const noexcept {
    return rootViewController_;
  }
  // Puts the controller's view (loading it) behind the window's other subviews, so that what
  // is shown over it stays over it, and takes the previous root's view out of the window.
  void setRootViewController(std::shared_ptr<ViewController> controller);

  // Set by the host, the desktop window or a test (a notch, a home indicator).
  [[nodiscard]] EdgeInsets safeAreaInsets() const override { return windowSafeAreaInsets_; }
  void setSafeAreaInsets(const EdgeInsets& insets);

  // Pixels per point of the screen the window is on.
  [[nodiscard]] double screenScale() const;

  [[nodiscard]] std::uint64_t displayGeneration() const noexcept { return displayGeneration_; }
  void setDisplayRequestHandler(std::function<void()> handler);
  // The renderer has drawn the current generation: the next change calls the handler again.
  void didDisplay() noexcept { displayRequested_ = false; }

 private:
  friend class View;
  friend class Layer;

  void displayChanged();
  // Called by View when the window's bounds change size.
  void fitRootView();

  std::shared_ptr<ViewController> rootViewController_;
  EdgeInsets windowSafeAreaInsets_;
  std::uint64_t displayGeneration_ = 0;
  bool displayRequested_ = false;
  std::function<void()> displayRequestHandler_;
};

}  // namespace platform
