#include "Classes/UI/Extensions/ViewControllerExtensions.h"

#include <set>

#include "Platform/UI/NavigationController.h"

namespace brelum {
namespace {

using platform::ViewController;

std::shared_ptr<ViewController> nextInChain(ViewController& controller) {
  if (auto* navigation = dynamic_cast<platform::NavigationController*>(&controller)) {
    return navigation->topViewController();
  }
  return controller.presentedViewController();
}

}  // namespace

std::shared_ptr<ViewController> topVisibleController(ViewController& controller) {
  auto current = std::static_pointer_cast<ViewController>(controller.shared_from_this());
  std::set<const ViewController*> seen{current.get()};
  while (auto next = nextInChain(*current)) {
    if (!seen.insert(next.get()).second) break;
    current = std::move(next);
  }
  return current;
}

}  // namespace brelum
