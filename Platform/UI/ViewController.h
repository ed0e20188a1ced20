#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Platform/Foundation/Object.h"

namespace platform {

class Bundle;
class NibCoder;
class View;

// Manages one view tree: its root view is made on first access (loadView, then viewDidLoad,
// each once), and it may present another controller over itself.
//
// Two creation roads, as for views: in code, make<T>(args...) (T's constructors taking a nib
// name and bundle, or nothing); from a nib, a constructor taking the coder. Main thread only.
class ViewController : public Object {
 public:
  template <class T = ViewController, class... Args>
  [[nodiscard]] static std::shared_ptr<T> make(Args&&... args) {
    return std::make_shared<T>(std::forward<Args>(args)...);
  }

  // Constructors are public for std::make_shared; create controllers through make().
  ViewController();
  ViewController(std::optional<std::string> nibName, std::shared_ptr<Bundle> bundle);
  explicit ViewController(const NibCoder& coder);
  ~ViewController() override;

  [[nodiscard]] const std::optional<std::string>& nibName() const noexcept { return nibName_; }
  [[nodiscard]] const std::shared_ptr<Bundle>& nibBundle() const noexcept { return nibBundle_; }

  // The root view, loaded now if it is not yet.
  [[nodiscard]] const std::shared_ptr<View>& view();
  [[nodiscard]] bool isViewLoaded() const noexcept { return view_ != nullptr; }
  void setView(std::shared_ptr<View> view);

  // Makes the root view; the default is an empty view. An override calls setView.
  virtual void loadView();
  // Runs once, right after the root view was loaded.
  virtual void viewDidLoad() {}

  // Presents `controller` over this one: its view covers the window this controller's view
  // is in. Refused when this controller presents one already, or `controller` is presented
  // elsewhere. `completion` runs on the main queue.
  void present(const std::shared_ptr<ViewController>& controller, bool animated,
               std::function<void()> completion = nullptr);
  // Takes down what this controller presents (or, when it presents nothing, itself from its
  // presenter); `completion` runs on the main queue.
  void dismiss(bool animated, std::function<void()> completion = nullptr);
  [[nodiscard]] const std::shared_ptr<ViewController>& presentedViewController() const noexcept {
    return presented_;
  }
  [[nodiscard]] std::shared_ptr<ViewController> presentingViewController() const {
    return presenting_.lock();
  }

 private:
  std::optional<std::string> nibName_;
  std::shared_ptr<Bundle> nibBundle_;
  std::shared_ptr<View> view_;
  bool loading_ = false;
  std::shared_ptr<ViewController> presented_;
  std::weak_ptr<ViewController> presenting_;
};

}  // namespace platform
