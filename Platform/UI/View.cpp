#include "Platform/UI/View.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "Platform/Dispatch/MainThread.h"
#include "Platform/UI/AnimationGroup.h"
#include "Platform/UI/GestureRecognizer.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/LayoutConstraint.h"
#include "Platform/UI/LayoutSolver.h"
#include "Platform/UI/NibCoder.h"
#include "Platform/UI/Window.h"

namespace platform {
namespace {

Color animatableColor(const std::optional<Color>& color) {
  return color.value_or(Color::clear());
}

}  // namespace

View::View() : layer_(Layer::make()) {
  detail::requireMainThread("View::View");
  layer_->view_ = this;
}

View::View(const NibCoder& coder) : View() {
  if (auto frame = coder.decodeRect("frame")) setFrame(*frame);
  if (auto tag = coder.decodeInteger("tag")) tag_ = *tag;
  if (auto hidden = coder.decodeBool("hidden")) hidden_ = *hidden;
  if (auto alpha = coder.decodeDouble("alpha")) setAlpha(*alpha);
  if (auto color = coder.decodeColor("backgroundColor")) backgroundColor_ = color;
  if (auto color = coder.decodeColor("tintColor")) tintColor_ = color;
  if (auto enabled = coder.decodeBool("userInteractionEnabled")) userInteractionEnabled_ = *enabled;
  if (auto translates = coder.decodeBool("translatesAutoresizingMaskIntoConstraints")) {
    translatesAutoresizingMask_ = *translates;
  }
}

View::~View() {
  // The other views of these constraints must not keep a pointer to this one.
  layoutLinks_.clear();
  for (auto& constraint : std::exchange(constraints_, {})) {
    constraint->active_ = false;
    for (View* other : {constraint->first_, constraint->second_}) {
      if (other && other != this) other->forgetConstraint(*constraint);
    }
    if (constraint->first_ == this) constraint->first_ = nullptr;
    if (constraint->second_ == this) constraint->second_ = nullptr;
  }
  layer_->view_ = nullptr;
  for (auto& recognizer : gestureRecognizers_) recognizer->view_ = nullptr;
  for (auto& subview : subviews_) subview->superview_ = nullptr;
  dropAnimations(false);
}

// Geometry

Rect View::frame() const {
  return {center_.x - bounds_.size.width / 2, center_.y - bounds_.size.height / 2,
          bounds_.size.width, bounds_.size.height};
}

void View::setFrame(const Rect& frame) {
  if (!frame.isFinite()) return;
  const Rect standardized = frame.standardized();
  setCenterAndBounds({standardized.midX(), standardized.midY()},
                     {bounds_.origin, standardized.size});
}

void View::setBounds(const Rect& bounds) {
  if (!bounds.isFinite()) return;
  setCenterAndBounds(center_, bounds.standardized());
}

void View::setCenter(Point center) {
  if (!center.isFinite()) return;
  setCenterAndBounds(center, bounds_);
}

void View::setCenterAndBounds(Point center, const Rect& bounds) {
  const bool centerChanged = center != center_;
  const bool boundsChanged = bounds != bounds_;
  if (!centerChanged && !boundsChanged) return;
  if (centerChanged) {
    const Point old = std::exchange(center_, center);
    recordAnimation(AnimatableProperty::center, old, center);
  }
  if (boundsChanged) {
    const Rect old = std::exchange(bounds_, bounds);
    recordAnimation(AnimatableProperty::bounds, old, bounds);
    if (old.size != bounds.size) {
      // Subviews placed by constraints follow their superview's size.
      setNeedsLayout();
      if (isWindow_) static_cast<Window*>(this)->fitRootView();
    }
  }
  setNeedsDisplay();
}

void View::setAlpha(double alpha) {
  if (std::isnan(alpha)) return;
  alpha = std::clamp(alpha, 0.0, 1.0);
  if (alpha == alpha_) return;
  const double old = std::exchange(alpha_, alpha);
  recordAnimation(AnimatableProperty::alpha, old, alpha);
  setNeedsDisplay();
}

void View::setHidden(bool hidden) {
  if (hidden == hidden_) return;
  hidden_ = hidden;
  setNeedsDisplay();
}

void View::setBackgroundColor(std::optional<Color> color) {
  if (color == backgroundColor_) return;
  const Color old = animatableColor(backgroundColor_);
  backgroundColor_ = color;
  recordAnimation(AnimatableProperty::backgroundColor, old, animatableColor(color));
  setNeedsDisplay();
}

Color View::tintColor() const {
  for (const View* view = this; view; view = view->superview_) {
    if (view->tintColor_) return *view->tintColor_;
  }
  return Color::systemBlue();
}

void View::setTintColor(std::optional<Color> color) {
  if (color == tintColor_) return;
  tintColor_ = color;
  setNeedsDisplay();
}

// The tree

void View::addSubview(const std::shared_ptr<View>& view) {
  insertSubview(view, subviews_.size());
}

void View::insertSubview(const std::shared_ptr<View>& view, std::size_t index) {
  detail::requireMainThread("View::insertSubview");
  if (!view || isDescendant(*view)) return;
  auto keep = view;  // the old superview may hold the last reference
  Window* oldWindow = keep->windowPointer();
  if (keep->superview_) {
    View* old = keep->superview_;
    auto& siblings = old->subviews_;
    const auto at = std::ranges::find(siblings, keep.get(), &std::shared_ptr<View>::get);
    // Within the same superview the index counts the list without the moved view.
    if (old == this && std::size_t(at - siblings.begin()) < index) --index;
    if (old != this) keep->deactivateConstraintsLeaving(*keep);
    siblings.erase(at);
    old->setNeedsLayout();
    old->setNeedsDisplay();
  }
  index = std::min(index, subviews_.size());
  keep->superview_ = this;
  subviews_.insert(subviews_.begin() + std::ptrdiff_t(index), keep);
  keep->markSubtreeNeedsLayout();
  setNeedsLayout();
  keep->windowDidChange(oldWindow);
  setNeedsDisplay();
}

void View::removeFromSuperview() {
  detail::requireMainThread("View::removeFromSuperview");
  View* superview = superview_;
  if (!superview) return;
  auto self = sharedAs<View>();  // the superview holds what may be the last reference
  Window* oldWindow = windowPointer();
  superview->setNeedsDisplay();
  auto& siblings = superview->subviews_;
  siblings.erase(std::ranges::find(siblings, this, &std::shared_ptr<View>::get));
  deactivateConstraintsLeaving(*this);
  superview_ = nullptr;
  superview->setNeedsLayout();
  windowDidChange(oldWindow);
}

void View::forgetConstraint(const LayoutConstraint& constraint) {
  std::erase_if(constraints_, [&](const auto& held) { return held.get() == &constraint; });
  layoutLinks_.erase(
      std::remove_if(layoutLinks_.begin(), layoutLinks_.end(),
                     [&](const auto& link) { return link.constraint == &constraint; }),
      layoutLinks_.end());
}

void View::deactivateConstraintsLeaving(const View& subtree) {
  // A constraint from inside a subtree that leaves its superview to a view outside it has
  // nothing to solve it once the trees part.
  std::vector<std::shared_ptr<LayoutConstraint>> leaving;
  for (const auto& constraint : constraints_) {
    const View* other = constraint->first_ == this ? constraint->second_ : constraint->first_;
    if (other && !other->isDescendant(subtree)) leaving.push_back(constraint);
  }
  LayoutConstraint::deactivate(leaving);
  for (auto& subview : subviews_) subview->deactivateConstraintsLeaving(subtree);
}

void View::windowDidChange(Window* oldWindow) {
  // Animations belong to what a window shows: a view leaving its window stops moving.
  if (oldWindow && oldWindow != windowPointer()) dropAnimations(true);
}

std::shared_ptr<View> View::superview() const {
  return superview_ ? std::static_pointer_cast<View>(superview_->shared_from_this()) : nullptr;
}

bool View::isDescendant(const View& ancestor) const noexcept {
  for (const View* view = this; view; view = view->superview_) {
    if (view == &ancestor) return true;
  }
  return false;
}

Window* View::windowPointer() const noexcept {
  const View* root = this;
  while (root->superview_) root = root->superview_;
  return root->isWindow_ ? static_cast<Window*>(const_cast<View*>(root)) : nullptr;
}

std::shared_ptr<Window> View::window() const {
  Window* window = windowPointer();
  return window ? std::static_pointer_cast<Window>(window->shared_from_this()) : nullptr;
}

std::shared_ptr<View> View::viewWithTag(std::int64_t tag) {
  if (tag_ == tag) return sharedAs<View>();
  for (const auto& subview : subviews_) {
    if (auto found = subview->viewWithTag(tag)) return found;
  }
  return nullptr;
}

EdgeInsets View::safeAreaInsets() const {
  const Window* window = windowPointer();
  if (!window || window == this) return window ? window->safeAreaInsets() : EdgeInsets{};
  const EdgeInsets insets = window->safeAreaInsets();
  const Rect inWindow = convert(bounds_, nullptr);
  const Rect area = window->bounds();
  auto overlap = [](double inset, double distance, double extent) {
    return std::clamp(inset - distance, 0.0, std::max(extent, 0.0));
  };
  return {overlap(insets.top, inWindow.minY() - area.minY(), inWindow.height()),
          overlap(insets.left, inWindow.minX() - area.minX(), inWindow.width()),
          overlap(insets.bottom, area.maxY() - inWindow.maxY(), inWindow.height()),
          overlap(insets.right, area.maxX() - inWindow.maxX(), inWindow.width())};
}

void View::setSemanticContentAttribute(SemanticContentAttribute attribute) {
  if (attribute == semanticContentAttribute_) return;
  semanticContentAttribute_ = attribute;
  setNeedsLayout();
  for (auto& subview : subviews_) subview->setNeedsLayout();
}

UserInterfaceLayoutDirection View::effectiveUserInterfaceLayoutDirection() const {
  for (const View* view = this; view; view = view->superview_) {
    switch (view->semanticContentAttribute_) {
      case SemanticContentAttribute::forceLeftToRight:
        return UserInterfaceLayoutDirection::leftToRight;
      case SemanticContentAttribute::forceRightToLeft:
        return UserInterfaceLayoutDirection::rightToLeft;
      case SemanticContentAttribute::unspecified:
        break;
    }
  }
  return UserInterfaceLayoutDirection::leftToRight;
}

void View::setTranslatesAutoresizingMaskIntoConstraints(bool translates) {
  if (translates == translatesAutoresizingMask_) return;
  translatesAutoresizingMask_ = translates;
  if (superview_) superview_->setNeedsLayout();
}

// Input

void View::addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  if (!recognizer || recognizer->view_ == this) return;
  auto keep = recognizer;
  if (View* previous = keep->view_) previous->removeGestureRecognizer(*keep);
  keep->view_ = this;
  gestureRecognizers_.push_back(std::move(keep));
}

void View::removeGestureRecognizer(const GestureRecognizer& recognizer) {
  auto it =
      std::ranges::find(gestureRecognizers_, &recognizer, &std::shared_ptr<GestureRecognizer>::get);
  if (it == gestureRecognizers_.end()) return;
  auto released = std::move(*it);  // released after the list no longer holds it
  gestureRecognizers_.erase(it);
  released->view_ = nullptr;
}

bool View::pointInside(Point point) const {
  return bounds_.contains(point);
}

std::shared_ptr<View> View::hitTest(Point point) {
  if (hidden_ || alpha_ < 0.01 || !userInteractionEnabled_ || !pointInside(point)) return nullptr;
  for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
    View& subview = **it;
    const Rect frame = subview.frame();
    const Point inSubview{point.x - frame.origin.x + subview.bounds_.origin.x,
                          point.y - frame.origin.y + subview.bounds_.origin.y};
    if (auto hit = subview.hitTest(inSubview)) return hit;
  }
  return sharedAs<View>();
}

// Layout

void View::setNeedsLayout() {
  needsLayout_ = true;
  markSubtreeNeedsLayout();
  setNeedsDisplay();
}

void View::markSubtreeNeedsLayout() {
  subtreeNeedsLayout_ = true;
  // Stops at the first marked ancestor: its own ancestors are marked already. The receiver's
  // mark says nothing of them, since it may have moved under a new superview since.
  for (View* view = superview_; view && !view->subtreeNeedsLayout_; view = view->superview_) {
    view->subtreeNeedsLayout_ = true;
  }
}

void View::layoutIfNeeded() {
  detail::requireMainThread("View::layoutIfNeeded");
  if (!subtreeNeedsLayout_) return;
  auto self = sharedAs<View>();  // layoutSubviews may remove this view from its superview
  layOutSubtree();
}

void View::layOutSubtree() {
  subtreeNeedsLayout_ = false;
  if (needsLayout_) {
    needsLayout_ = false;
    layoutSubviews();
  }
  // By index, holding each child: a layout hook may add or remove subviews as it runs.
  for (std::size_t i = 0; i < subviews_.size(); ++i) {
    if (!subviews_[i]->subtreeNeedsLayout_) continue;
    auto child = subviews_[i];
    child->layOutSubtree();
  }
}

void View::layoutSubviews() {
  LayoutSolver::layOutSubviews(*this);
}

// Coordinates

Point View::originInWindow() const {
  Point offset;
  for (const View* view = this; view->superview_; view = view->superview_) {
    const Rect frame = view->frame();
    offset.x += frame.origin.x - view->bounds_.origin.x;
    offset.y += frame.origin.y - view->bounds_.origin.y;
  }
  return offset;
}

Point View::convert(Point point, const View* to) const {
  const Point from = originInWindow();
  const Point target = to ? to->originInWindow() : Point{};
  return {point.x + from.x - target.x, point.y + from.y - target.y};
}

Point View::convertFrom(Point point, const View* from) const {
  const Point source = from ? from->originInWindow() : Point{};
  const Point self = originInWindow();
  return {point.x + source.x - self.x, point.y + source.y - self.y};
}

Rect View::convert(const Rect& rect, const View* to) const {
  return {convert(rect.origin, to), rect.size};
}

Rect View::convertFrom(const Rect& rect, const View* from) const {
  return {convertFrom(rect.origin, from), rect.size};
}

// Display

void View::setNeedsDisplay() const {
  if (Window* window = windowPointer()) window->displayChanged();
}

// Animation

void View::animate(double duration, const std::function<void()>& animations,
                   std::function<void(bool finished)> completion) {
  detail::requireMainThread("View::animate");
  const double seconds = std::isfinite(duration) && duration > 0 ? duration : 0;
  AnimationGroup::run(
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)),
      animations, std::move(completion));
}

void View::recordAnimation(AnimatableProperty property, AnimationRecord::Value from,
                           AnimationRecord::Value to) {
  AnimationGroup* group = AnimationGroup::current();
  if (!group && animations_.empty()) return;
  // Taken at the block's start, so that the new record begins exactly where the old one is.
  const auto now = group ? group->start() : Clock::now();
  // A property animating already moves on from where it shows now; one set outside any
  // block stops animating and shows its new value at once.
  std::erase_if(animations_, [&](const AnimationRecord& record) {
    if (!record.isRunning(now)) return true;
    if (record.property != property) return false;
    from = record.valueAt(now);
    record.group->recordInterrupted();
    return true;
  });
  if (!group || group->duration() <= Clock::duration::zero()) return;
  animations_.push_back({property, std::move(from), std::move(to), group->start(),
                         group->duration(), group->shared_from_this()});
  group->recordAdded();
  setNeedsDisplay();
}

void View::dropAnimations(bool includeSubviews) {
  const auto now = Clock::now();
  for (auto& record : std::exchange(animations_, {})) {
    if (record.isRunning(now)) record.group->recordInterrupted();
  }
  if (!includeSubviews) return;
  for (auto& subview : subviews_) subview->dropAnimations(true);
}

PresentationState View::presentation(Clock::time_point at) const {
  PresentationState state{center_, bounds_, alpha_, backgroundColor_, layer_->cornerRadius()};
  for (const auto& record : animations_) {
    if (!record.isRunning(at)) continue;
    const auto value = record.valueAt(at);
    switch (record.property) {
      case AnimatableProperty::center:
        state.center = std::get<Point>(value);
        break;
      case AnimatableProperty::bounds:
        state.bounds = std::get<Rect>(value);
        break;
      case AnimatableProperty::alpha:
        state.alpha = std::get<double>(value);
        break;
      case AnimatableProperty::backgroundColor:
        state.backgroundColor = std::get<Color>(value);
        break;
      case AnimatableProperty::cornerRadius:
        state.cornerRadius = std::get<double>(value);
        break;
    }
  }
  return state;
}

bool View::hasRunningAnimations(Clock::time_point at) const {
  if (std::ranges::any_of(animations_, [&](const auto& r) { return r.isRunning(at); })) {
    return true;
  }
  return std::ranges::any_of(subviews_, [&](const auto& v) { return v->hasRunningAnimations(at); });
}

}  // namespace platform
