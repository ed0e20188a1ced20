#include "Classes/UI/PIP/PIPContainerController.h"

#include "Classes/UI/Extensions/ViewExtensions.h"
#include "Platform/UI/View.h"

namespace brelum {

void PIPContainerController::embed(platform::ViewController& controller) {
  addSubviewAndFit(*view(), controller.view(), 0);
}

}  // namespace brelum
