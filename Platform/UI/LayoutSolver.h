#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "Platform/UI/LayoutAttribute.h"
#include "Platform/UI/LayoutNode.h"

namespace platform {

class LayoutConstraint;
class View;

// Places the subviews of one view that constraints position (those not translating their
// autoresizing mask), in the superview's bounds coordinates.
//
// Every constraint is an equality, so a pass propagates what is known: the superview's own
// edges, the frames of views outside the pass, constants. Each constraint is applied once
// one side is known, learning the other; a constraint with neither side known waits on its
// views and is applied again when something is learnt of one of them. Two facts fix an
// axis of a view (say left and width), from which the others follow. So a pass is linear
// in the number of constraints; no table maps views to their state (it lives on the view).
//
// An axis that stays underdetermined keeps the view's current size (and position, when
// nothing at all is known). Facts that contradict what is known already, values that are
// not finite and negative sizes are not learnt; the constraints behind them are checked
// against the final frames, and those that do not hold are reported on one console line.
class LayoutSolver {
 public:
  static void layOutSubviews(View& superview);

 private:
  struct Term {
    View* view;
    int axis;  // 0 horizontal, 1 vertical
    LayoutNode::Slot slot;
    double sign;  // -1 for leading and trailing in a right-to-left layout
  };

  explicit LayoutSolver(View& superview);

  void run();
  void apply(LayoutConstraint& constraint);
  void applyAlone(View& view, const LayoutNode::Link& link);
  void learn(const Term& term, double value, LayoutConstraint& constraint);
  void place(View& view);
  void report();

  [[nodiscard]] static Term term(View* view, LayoutAttribute attribute);
  [[nodiscard]] bool takesPart(const View* view) const noexcept;
  // The view's state in this pass, emptied on first use.
  LayoutNode& nodeOf(View& view) const;
  [[nodiscard]] std::optional<double> known(const Term& term) const;
  [[nodiscard]] double measure(const Term& term) const;
  [[nodiscard]] bool holds(const LayoutConstraint& constraint) const;

  View& superview_;
  std::uint64_t pass_;
  std::vector<View*> unsettled_;  // placed once every constraint has been applied
  std::vector<LayoutConstraint*> queue_;
  std::vector<LayoutConstraint*> suspects_;  // to check once the frames are set
};

}  // namespace platform
