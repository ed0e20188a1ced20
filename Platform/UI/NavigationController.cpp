#include "Platform/UI/NavigationController.h"

#include <algorithm>
#include <utility>

#include "Platform/UI/LayoutConstraint.h"
#include "Platform/UI/View.h"

namespace platform {

NavigationController::NavigationController(std::shared_ptr<ViewController> root) {
  if (root) stack_.push_back(std::move(root));
}

void NavigationController::setViewControllers(
    std::vector<std::shared_ptr<ViewController>> controllers) {
  auto previous = topViewController();
  std::erase(controllers, nullptr);
  stack_ = std::move(controllers);
  showTop(previous);
}

void NavigationController::pushViewController(std::shared_ptr<ViewController> controller, bool) {
  if (!controller || controller.get() == this ||
      std::ranges::find(stack_, controller) != stack_.end()) {
    return;
  }
  auto previous = topViewController();
  stack_.push_back(std::move(controller));
  showTop(previous);
}

std::shared_ptr<ViewController> NavigationController::popViewController(bool) {
  if (stack_.size() < 2) return nullptr;
  auto popped = std::move(stack_.back());
  stack_.pop_back();
  showTop(popped);
  return popped;
}

void NavigationController::viewDidLoad() {
  ViewController::viewDidLoad();
  showTop(nullptr);
}

void NavigationController::showTop(const std::shared_ptr<ViewController>& previous) {
  if (!isViewLoaded()) return;
  auto top = topViewController();
  if (previous && previous != top && previous->isViewLoaded()) {
    previous->view()->removeFromSuperview();
  }
  if (!top) return;
  const auto& container = view();
  const auto& shown = top->view();
  if (shown->superviewPointer() == container.get()) return;
  container->addSubview(shown);
  shown->setTranslatesAutoresizingMaskIntoConstraints(false);
  LayoutConstraint::activate(
      std::vector{shown->topAnchor().constraintEqualTo(container->topAnchor()),
                  shown->bottomAnchor().constraintEqualTo(container->bottomAnchor()),
                  shown->leftAnchor().constraintEqualTo(container->leftAnchor()),
                  shown->rightAnchor().constraintEqualTo(container->rightAnchor())});
}

}  // namespace platform
