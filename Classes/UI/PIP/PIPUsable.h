#pragma once

#include <concepts>

#include "Classes/UI/PIP/PIPState.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/ViewController.h"

namespace brelum {

// What a view controller declares to be shown in picture-in-picture. Every member has a
// default, so adopting it takes one base class.
class PIPUsable {
 public:
  virtual ~PIPUsable() = default;

  // The mode the controller is shown in.
  [[nodiscard]] virtual PIPState initialState() const { return PIPState::pip; }
  // Where the floating window first stands.
  [[nodiscard]] virtual PIPPosition initialPosition() const { return PIPPosition::bottomRight; }
  // The floating window's size in points: taller than wide.
  [[nodiscard]] virtual platform::Size pipSize() const { return {112, 200}; }
  // Told the mode once when the controller is attached, and after every animated mode change.
  virtual void onStateChanged(PIPState /*state*/) {}
};

// A view controller that adopts PIPUsable: what the manager shows.
template <class C>
concept PIPUsableViewController =
    std::derived_from<C, platform::ViewController> && std::derived_from<C, PIPUsable>;

// The PIPUsable side of a controller, or null when its type does not adopt it.
[[nodiscard]] inline PIPUsable* asPIPUsable(platform::ViewController& controller) {
  return dynamic_cast<PIPUsable*>(&controller);
}

}  // namespace brelum
