#include "Classes/UI/PIP/PIPContainerController.h"

#include "Platform/UI/LayoutConstraint.h"
#include "Platform/UI/View.h"

namespace brelum {

void PIPContainerController::embed(platform::ViewController& controller) {
  // TODO(#13): addSubviewAndFit of the view helpers.
  const auto& container = view();
  const auto& content = controller.view();
  container->addSubview(content);
  content->setTranslatesAutoresizingMaskIntoConstraints(false);
  content->topAnchor().constraintEqualTo(container->topAnchor(), 0)->setActive(true);
  content->bottomAnchor().constraintEqualTo(container->bottomAnchor(), 0)->setActive(true);
  content->leftAnchor().constraintEqualTo(container->leftAnchor(), 0)->setActive(true);
  content->rightAnchor().constraintEqualTo(container->rightAnchor(), 0)->setActive(true);
}

}  // namespace brelum
