#include "Platform/UI/LayoutSolver.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <string>

#include "Platform/Foundation/Console.h"
#include "Platform/UI/LayoutConstraint.h"
#include "Platform/UI/View.h"

namespace platform {
namespace {

std::uint64_t nextPass() {
  static std::uint64_t pass = 0;
  return ++pass;
}

double slotOf(const Rect& rect, int axis, LayoutNode::Slot slot) {
  const double origin = axis == 0 ? rect.origin.x : rect.origin.y;
  const double length = axis == 0 ? rect.size.width : rect.size.height;
  switch (slot) {
    case LayoutNode::minimum:
      return origin;
    case LayoutNode::center:
      return origin + length / 2;
    case LayoutNode::maximum:
      return origin + length;
    case LayoutNode::size:
      return length;
  }
  return 0;
}

// With two of minimum, centre, maximum and size known, the other two follow.
void complete(LayoutNode::Axis& axis) {
  auto& v = axis.values;
  using enum LayoutNode::Slot;
  if (!axis.has(minimum)) {
    v[minimum] = axis.has(maximum) && axis.has(size)  ? v[maximum] - v[size]
                 : axis.has(center) && axis.has(size) ? v[center] - v[size] / 2
                                                      : 2 * v[center] - v[maximum];
  }
  if (!axis.has(size)) {
    v[size] = axis.has(maximum) ? v[maximum] - v[minimum] : 2 * (v[center] - v[minimum]);
  }
  v[center] = v[minimum] + v[size] / 2;
  v[maximum] = v[minimum] + v[size];
  axis.known = 0b1111;
}

// The frame's minimum and length along an axis once the pass is over.
std::pair<double, double> resolve(const LayoutNode::Axis& axis, double currentMinimum,
                                  double currentLength) {
  using enum LayoutNode::Slot;
  const auto& v = axis.values;
  if (axis.known == 0b1111) return {v[minimum], v[size]};
  if (axis.has(size)) return {currentMinimum, v[size]};
  if (axis.has(minimum)) return {v[minimum], currentLength};
  if (axis.has(center)) return {v[center] - currentLength / 2, currentLength};
  if (axis.has(maximum)) return {v[maximum] - currentLength, currentLength};
  return {currentMinimum, currentLength};
}

}  // namespace

void LayoutSolver::layOutSubviews(View& superview) {
  LayoutSolver solver(superview);
  solver.run();
}

LayoutSolver::LayoutSolver(View& superview) : superview_(superview), pass_(nextPass()) {
}

void LayoutSolver::run() {
  // One sweep over the subviews, each view's constraints applied as it comes, keeps a pass
  // to about one visit of each view and each constraint.
  for (const auto& subview : superview_.subviews_) {
    View& view = *subview;
    if (view.translatesAutoresizingMask_ || view.layoutLinks_.empty()) continue;
    for (const auto& link : view.layoutLinks_) {
      if (!link.other || !takesPart(link.other)) {
        // Only this view of the pass takes part: the link alone says what it learns.
        applyAlone(view, link);
        continue;
      }
      LayoutConstraint* constraint = link.constraint;
      if (constraint->pass_ == pass_) continue;
      constraint->pass_ = pass_;
      constraint->applied_ = false;
      queue_.push_back(constraint);
      while (!queue_.empty()) {
        LayoutConstraint* next = queue_.back();
        queue_.pop_back();
        apply(*next);
      }
    }
    // A view whose axes are both fixed learns nothing more in this pass.
    const LayoutNode& node = nodeOf(view);
    if (node.axes[0].known == 0b1111 && node.axes[1].known == 0b1111) {
      place(view);
    } else {
      unsettled_.push_back(&view);
    }
  }
  for (View* view : unsettled_) place(*view);
  report();
}

LayoutNode& LayoutSolver::nodeOf(View& view) const {
  LayoutNode& node = view.layoutNode_;
  if (node.pass != pass_) {
    node.pass = pass_;
    node.axes = {};
    node.waiting.clear();
  }
  return node;
}

LayoutSolver::Term LayoutSolver::term(View* view, LayoutAttribute attribute) {
  const auto flipped = [view] {
    return view->effectiveUserInterfaceLayoutDirection() ==
           UserInterfaceLayoutDirection::rightToLeft;
  };
  using enum LayoutNode::Slot;
  switch (attribute) {
    case LayoutAttribute::left:
      return {view, 0, minimum, 1};
    case LayoutAttribute::right:
      return {view, 0, maximum, 1};
    case LayoutAttribute::leading:
      return flipped() ? Term{view, 0, maximum, -1} : Term{view, 0, minimum, 1};
    case LayoutAttribute::trailing:
      return flipped() ? Term{view, 0, minimum, -1} : Term{view, 0, maximum, 1};
    case LayoutAttribute::width:
      return {view, 0, size, 1};
    case LayoutAttribute::centerX:
      return {view, 0, center, 1};
    case LayoutAttribute::top:
      return {view, 1, minimum, 1};
    case LayoutAttribute::bottom:
      return {view, 1, maximum, 1};
    case LayoutAttribute::height:
      return {view, 1, size, 1};
    case LayoutAttribute::centerY:
      return {view, 1, center, 1};
  }
  return {view, 0, minimum, 1};
}

bool LayoutSolver::takesPart(const View* view) const noexcept {
  return view != &superview_ && view->superview_ == &superview_ &&
         !view->translatesAutoresizingMask_;
}

double LayoutSolver::measure(const Term& term) const {
  const View* view = term.view;
  const Rect rect = view == &superview_               ? superview_.bounds()
                    : view->superview_ == &superview_ ? view->frame()
                                                      : view->convert(view->bounds(), &superview_);
  return slotOf(rect, term.axis, term.slot);
}

std::optional<double> LayoutSolver::known(const Term& term) const {
  if (!takesPart(term.view)) return measure(term);
  const LayoutNode::Axis& axis = nodeOf(*term.view).axes[std::size_t(term.axis)];
  if (!axis.has(term.slot)) return std::nullopt;
  return axis.values[term.slot];
}

void LayoutSolver::applyAlone(View& view, const LayoutNode::Link& link) {
  const Term mine = term(&view, link.mine);
  double other = 0;
  if (link.other) {
    const Term theirs = term(link.other, link.theirs);
    other = theirs.sign * measure(theirs);
  }
  // first.sign * first = second.sign * second + constant, from either side.
  const double value = link.mineIsFirst ? other + link.constant : other - link.constant;
  learn(mine, mine.sign * value, *link.constraint);
}

// first.sign * first = second.sign * second + constant
void LayoutSolver::apply(LayoutConstraint& constraint) {
  if (constraint.applied_) return;
  const Term first = term(constraint.first_, constraint.firstAttribute_);
  if (!constraint.second_) {
    constraint.applied_ = true;
    learn(first, first.sign * constraint.constant_, constraint);
    return;
  }
  const Term second = term(constraint.second_, constraint.secondAttribute_);
  if (auto value = known(second)) {
    constraint.applied_ = true;
    learn(first, first.sign * (second.sign * *value + constraint.constant_), constraint);
  } else if (auto value = known(first)) {
    constraint.applied_ = true;
    learn(second, second.sign * (first.sign * *value - constraint.constant_), constraint);
  } else {
    nodeOf(*first.view).waiting.push_back(&constraint);
    nodeOf(*second.view).waiting.push_back(&constraint);
  }
}

void LayoutSolver::learn(const Term& term, double value, LayoutConstraint& constraint) {
  if (!takesPart(term.view)) {
    // Both sides lie outside the pass (or the superview): nothing to learn, only to check.
    suspects_.push_back(&constraint);
    return;
  }
  LayoutNode& node = nodeOf(*term.view);
  LayoutNode::Axis& axis = node.axes[std::size_t(term.axis)];
  if (axis.has(term.slot) || !std::isfinite(value) ||
      (term.slot == LayoutNode::size && value < 0)) {
    suspects_.push_back(&constraint);
    return;
  }
  axis.values[term.slot] = value;
  axis.known |= std::uint8_t(1u << term.slot);
  if (std::popcount(axis.known) == 2) complete(axis);
  if (std::popcount(axis.known) == 4 && axis.values[LayoutNode::size] < 0) {
    suspects_.push_back(&constraint);
  }
  queue_.insert(queue_.end(), node.waiting.begin(), node.waiting.end());
  node.waiting.clear();
}

void LayoutSolver::place(View& view) {
  const LayoutNode& node = nodeOf(view);
  const Rect current = view.frame();
  auto [x, width] = resolve(node.axes[0], current.origin.x, current.size.width);
  auto [y, height] = resolve(node.axes[1], current.origin.y, current.size.height);
  // A contradiction may leave a negative size; the view gets none and the report names it.
  view.setFrame({x, y, std::max(width, 0.0), std::max(height, 0.0)});
  for (LayoutConstraint* constraint : node.waiting) suspects_.push_back(constraint);
}

bool LayoutSolver::holds(const LayoutConstraint& constraint) const {
  const Term first = term(constraint.first_, constraint.firstAttribute_);
  double expected = constraint.constant_;
  if (constraint.second_) {
    const Term second = term(constraint.second_, constraint.secondAttribute_);
    expected += second.sign * measure(second);
  }
  const double actual = first.sign * measure(first);
  return std::isfinite(expected) &&
         std::abs(actual - expected) <= 1e-6 * std::max(1.0, std::abs(expected));
}

void LayoutSolver::report() {
  std::vector<const View*> named;
  for (const LayoutConstraint* constraint : suspects_) {
    if (holds(*constraint)) continue;
    for (const View* view : {constraint->first_, constraint->second_}) {
      if (view && std::ranges::find(named, view) == named.end()) named.push_back(view);
    }
  }
  if (named.empty()) return;
  std::string line = "Layout: constraints that cannot all hold; left unsatisfied between";
  for (const View* view : named) line += " " + view->description();
  Console::print(line);
}

}  // namespace platform
