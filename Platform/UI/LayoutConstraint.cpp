#include "Platform/UI/LayoutConstraint.h"

#include <algorithm>
#include <utility>

#include "Platform/UI/View.h"

namespace platform {
namespace {

const View* rootOf(const View* view) {
  while (view->superviewPointer()) view = view->superviewPointer();
  return view;
}

}  // namespace

std::shared_ptr<LayoutConstraint> LayoutConstraint::make(View* first,
                                                         LayoutAttribute firstAttribute,
                                                         View* second,
                                                         LayoutAttribute secondAttribute,
                                                         double constant) {
  // One allocation for the constraint and its count: layout walks many of them.
  struct Made : LayoutConstraint {
    Made(View* first, LayoutAttribute firstAttribute, View* second, LayoutAttribute secondAttribute,
         double constant)
        : LayoutConstraint(first, firstAttribute, second, secondAttribute, constant) {}
  };
  return std::make_shared<Made>(first, firstAttribute, second, secondAttribute, constant);
}

LayoutConstraint::LayoutConstraint(View* first, LayoutAttribute firstAttribute, View* second,
                                   LayoutAttribute secondAttribute, double constant)
    : first_(first),
      firstAttribute_(firstAttribute),
      second_(second),
      secondAttribute_(secondAttribute),
      constant_(constant) {
}

LayoutConstraint::~LayoutConstraint() = default;

std::shared_ptr<View> LayoutConstraint::firstItem() const {
  return first_ ? std::static_pointer_cast<View>(first_->shared_from_this()) : nullptr;
}

std::shared_ptr<View> LayoutConstraint::secondItem() const {
  return second_ ? std::static_pointer_cast<View>(second_->shared_from_this()) : nullptr;
}

void LayoutConstraint::setConstant(double constant) {
  if (constant == constant_) return;
  constant_ = constant;
  if (!active_) return;
  for (View* view : {first_, second_}) {
    if (!view) continue;
    for (auto& link : view->layoutLinks_) {
      if (link.constraint == this) link.constant = constant;
    }
  }
  invalidateLayout();
}

void LayoutConstraint::setActive(bool active) {
  if (active == active_) return;
  if (active) {
    // Views that share no tree have no superview to solve them together.
    if (!first_ || (second_ && rootOf(first_) != rootOf(second_))) return;
    auto self = std::static_pointer_cast<LayoutConstraint>(shared_from_this());
    active_ = true;
    first_->constraints_.push_back(self);
    first_->layoutLinks_.push_back(
        {this, second_, firstAttribute_, secondAttribute_, true, constant_});
    if (second_ && second_ != first_) {
      second_->constraints_.push_back(std::move(self));
      second_->layoutLinks_.push_back(
          {this, first_, secondAttribute_, firstAttribute_, false, constant_});
    }
    invalidateLayout();
    return;
  }
  active_ = false;
  invalidateLayout();
  // The views' lists may hold the last references to this constraint.
  auto self = shared_from_this();
  for (View* view : {first_, second_}) {
    if (view) view->forgetConstraint(*this);
  }
}

void LayoutConstraint::activate(std::span<const std::shared_ptr<LayoutConstraint>> constraints) {
  for (const auto& constraint : constraints) {
    if (constraint) constraint->setActive(true);
  }
}

void LayoutConstraint::deactivate(std::span<const std::shared_ptr<LayoutConstraint>> constraints) {
  for (const auto& constraint : constraints) {
    if (constraint) constraint->setActive(false);
  }
}

void LayoutConstraint::invalidateLayout() const {
  for (View* view : {first_, second_}) {
    if (!view) continue;
    if (View* superview = view->superviewPointer()) superview->setNeedsLayout();
  }
}

}  // namespace platform
