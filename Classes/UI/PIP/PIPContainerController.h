#pragma once

#include "Classes/UI/PIP/PIPUsable.h"
#include "Platform/UI/ViewController.h"

namespace brelum {

// Shows any controller's view in picture-in-picture: embed it, then show the container.
// The container keeps no reference to the embedded controller.
class PIPContainerController : public platform::ViewController, public PIPUsable {
 public:
  using platform::ViewController::ViewController;

  // Makes `controller`'s view fill the container's view.
  virtual void embed(platform::ViewController& controller);
};

}  // namespace brelum
