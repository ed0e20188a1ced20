#pragma once

#include <concepts>
#include <memory>

#include "Platform/UI/LayoutAttribute.h"
#include "Platform/UI/LayoutConstraint.h"

namespace platform {

class View;

struct LayoutXAxis;
struct LayoutYAxis;
struct LayoutDimensionAxis;

// One attribute of one view, to make constraints from. The axis is in the type, so that a
// horizontal anchor cannot be bound to a vertical one. An anchor does not keep its view.
template <class Axis>
class LayoutAnchor {
 public:
  LayoutAnchor(std::weak_ptr<View> view, LayoutAttribute attribute)
      : view_(std::move(view)), attribute_(attribute) {}

  [[nodiscard]] LayoutAttribute attribute() const noexcept { return attribute_; }

  // receiver = other + constant (inactive until activated).
  [[nodiscard]] std::shared_ptr<LayoutConstraint> constraintEqualTo(const LayoutAnchor& other,
                                                                    double constant = 0) const {
    return LayoutConstraint::make(view_.lock().get(), attribute_, other.view_.lock().get(),
                                  other.attribute_, constant);
  }

  // receiver = constant, for widths and heights.
  [[nodiscard]] std::shared_ptr<LayoutConstraint> constraintEqualToConstant(
      double constant) const requires std::same_as<Axis, LayoutDimensionAxis> {
    return LayoutConstraint::make(view_.lock().get(), attribute_, nullptr, attribute_, constant);
  }

 private:
  std::weak_ptr<View> view_;
  LayoutAttribute attribute_;
};

using LayoutXAxisAnchor = LayoutAnchor<LayoutXAxis>;
using LayoutYAxisAnchor = LayoutAnchor<LayoutYAxis>;
using LayoutDimension = LayoutAnchor<LayoutDimensionAxis>;

}  // namespace platform
