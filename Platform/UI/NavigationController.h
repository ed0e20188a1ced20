#pragma once

#include <memory>
#include <vector>

#include "Platform/UI/ViewController.h"

namespace platform {

// A stack of controllers, the top one's view filling the navigation controller's view.
class NavigationController : public ViewController {
 public:
  NavigationController() = default;
  explicit NavigationController(std::shared_ptr<ViewController> root);

  [[nodiscard]] const std::vector<std::shared_ptr<ViewController>>& viewControllers()
      const noexcept {
    return stack_;
  }
  void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers);
  [[nodiscard]] std::shared_ptr<ViewController> topViewController() const {
    return stack_.empty() ? nullptr : stack_.back();
  }

  // A controller already on the stack, or null, is refused.
  void pushViewController(std::shared_ptr<ViewController> controller, bool animated);
  // Pops the top controller unless it is the root one; answers the popped controller.
  std::shared_ptr<ViewController> popViewController(bool animated);

  void viewDidLoad() override;

 private:
  void showTop(const std::shared_ptr<ViewController>& previous);

  std::vector<std::shared_ptr<ViewController>> stack_;
};

}  // namespace platform
