#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "Platform/Foundation/Object.h"
#include "Platform/UI/LayoutAttribute.h"

namespace platform {

class View;

// An equality between two view attributes, or a dimension and a constant:
//   firstItem.firstAttribute = secondItem.secondAttribute + constant
//   firstItem.firstAttribute = constant                      (no second item)
// Made through a view's anchors. An active constraint is kept by the views it binds and
// solved when their superview lays out; a constraint between views that share no tree, or
// whose view has gone, does not activate. When the set active under one superview cannot
// all hold, layout reports it on the console (one line naming the views) and goes on.
//
// Main thread only.
class LayoutConstraint : public Object {
 public:
  [[nodiscard]] static std::shared_ptr<LayoutConstraint> make(View* first,
                                                              LayoutAttribute firstAttribute,
                                                              View* second,
                                                              LayoutAttribute secondAttribute,
                                                              double constant);
  ~LayoutConstraint() override;

  [[nodiscard]] std::shared_ptr<View> firstItem() const;
  [[nodiscard]] std::shared_ptr<View> secondItem() const;
  [[nodiscard]] LayoutAttribute firstAttribute() const noexcept { return firstAttribute_; }
  [[nodiscard]] LayoutAttribute secondAttribute() const noexcept { return secondAttribute_; }
  [[nodiscard]] double constant() const noexcept { return constant_; }
  void setConstant(double constant);

  [[nodiscard]] bool isActive() const noexcept { return active_; }
  void setActive(bool active);
  static void activate(std::span<const std::shared_ptr<LayoutConstraint>> constraints);
  static void deactivate(std::span<const std::shared_ptr<LayoutConstraint>> constraints);

 private:
  friend class LayoutSolver;
  friend class View;

  LayoutConstraint(View* first, LayoutAttribute firstAttribute, View* second,
                   LayoutAttribute secondAttribute, double constant);

  void invalidateLayout() const;

  View* first_;  // cleared, like second_, when the view goes (it deactivates its constraints)
  LayoutAttribute firstAttribute_;
  View* second_;
  LayoutAttribute secondAttribute_;
  double constant_;
  bool active_ = false;
  // The solver's marks: the layout pass that last took this constraint, and whether that
  // pass has applied it.
  std::uint64_t pass_ = 0;
  bool applied_ = false;
};

}  // namespace platform
