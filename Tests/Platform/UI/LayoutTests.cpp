#include "Platform/UI/LayoutConstraint.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

#include "Platform/Foundation/Console.h"
#include "Platform/UI/View.h"
#include "Tests/Platform/UI/GeometryPrinting.h"

using namespace platform;

namespace {

using Constraints = std::vector<std::shared_ptr<LayoutConstraint>>;

std::shared_ptr<View> constrained(const std::shared_ptr<View>& parent) {
  auto view = View::make(Rect{1, 2, 3, 4});
  parent->addSubview(view);
  view->setTranslatesAutoresizingMaskIntoConstraints(false);
  return view;
}

Constraints fit(View& parent, View& child, double margin) {
  return {child.topAnchor().constraintEqualTo(parent.topAnchor(), margin),
          child.bottomAnchor().constraintEqualTo(parent.bottomAnchor(), -margin),
          child.leftAnchor().constraintEqualTo(parent.leftAnchor(), margin),
          child.rightAnchor().constraintEqualTo(parent.rightAnchor(), -margin)};
}

class LayoutTest : public ::testing::Test {
 protected:
  std::shared_ptr<View> parent_ = View::make(Rect{50, 50, 200, 100});
  ConsoleCapture console_;

  void layOut(const Constraints& constraints) {
    LayoutConstraint::activate(constraints);
    parent_->layoutIfNeeded();
  }
};

TEST_F(LayoutTest, EdgesFollowTheSuperviewsBoundsAndLeadingMirrorsInRightToLeft) {
  auto child = constrained(parent_), corner = constrained(parent_);
  auto byDirection = constrained(parent_), byEdge = constrained(parent_);
  auto fitted = fit(*parent_, *child, 8);
  layOut(fitted);
  // Written from the superview's side: the subview is the second item.
  layOut({corner->widthAnchor().constraintEqualToConstant(24),
          parent_->topAnchor().constraintEqualTo(corner->topAnchor(), -4),
          corner->heightAnchor().constraintEqualToConstant(24),
          corner->rightAnchor().constraintEqualTo(parent_->rightAnchor(), -4),
          byDirection->leadingAnchor().constraintEqualTo(parent_->leadingAnchor(), 10),
          byDirection->trailingAnchor().constraintEqualTo(parent_->trailingAnchor(), -100),
          byEdge->leftAnchor().constraintEqualTo(parent_->leftAnchor(), 10),
          byEdge->widthAnchor().constraintEqualToConstant(90)});
  EXPECT_EQ(child->frame(), (Rect{8, 8, 184, 84}));
  EXPECT_EQ(corner->frame(), (Rect{172, 4, 24, 24})) << "written from the superview's side";
  EXPECT_EQ(byDirection->frame(), (Rect{10, 2, 90, 4}));

  parent_->setSemanticContentAttribute(SemanticContentAttribute::forceRightToLeft);
  parent_->setBounds({10, 0, 300, 50});  // bounds origin shifts what the edges are
  fitted[0]->setConstant(2);
  parent_->layoutIfNeeded();
  EXPECT_EQ(child->frame(), (Rect{18, 2, 284, 40}));
  EXPECT_EQ(corner->frame(), (Rect{282, 4, 24, 24}));
  EXPECT_EQ(byDirection->frame(), (Rect{110, 2, 190, 4})) << "leading did not mirror";
  EXPECT_EQ(byEdge->frame(), (Rect{20, 2, 90, 4})) << "left mirrored";
  EXPECT_TRUE(console_.lines().empty());
}

TEST_F(LayoutTest, SiblingChainResolvesWhateverTheOrderOfItsConstraints) {
  std::vector<std::shared_ptr<View>> row;
  for (int i = 0; i < 5; ++i) row.push_back(constrained(parent_));
  Constraints constraints;
  // Declared from the far end, so each link waits for the one before it.
  for (int i = 4; i > 0; --i) {
    constraints.push_back(row[i]->leftAnchor().constraintEqualTo(row[i - 1]->rightAnchor(), 2));
    constraints.push_back(row[i]->widthAnchor().constraintEqualTo(row[i - 1]->widthAnchor()));
    constraints.push_back(row[i]->centerYAnchor().constraintEqualTo(row[i - 1]->centerYAnchor()));
  }
  constraints.insert(constraints.end(),
                     {row[0]->leftAnchor().constraintEqualTo(parent_->leftAnchor()),
                      row[0]->widthAnchor().constraintEqualToConstant(10),
                      row[0]->centerYAnchor().constraintEqualTo(parent_->centerYAnchor()),
                      row[0]->heightAnchor().constraintEqualToConstant(6)});
  layOut(constraints);
  // The last one's height is untouched: not constrained.
  EXPECT_EQ(row[0]->frame(), (Rect{0, 47, 10, 6}));
  EXPECT_EQ(row[4]->frame(), (Rect{48, 48, 10, 4}));
  EXPECT_TRUE(console_.lines().empty());
}

// An unsatisfiable set of constraints on `a` (and `b`), named by what the solver would do
// wrong with it unreported.
struct BadSet {
  const char* fault;
  Constraints (*build)(View& parent, View& a, View& b);
};

const BadSet kBadSets[] = {
    {"the later of two widths wins",
     [](View&, View& a, View&) -> Constraints {
       return {a.widthAnchor().constraintEqualToConstant(10),
               a.widthAnchor().constraintEqualToConstant(20)};
     }},
    {"a cycle never settles",
     [](View&, View& a, View& b) -> Constraints {
       return {a.leftAnchor().constraintEqualTo(b.leftAnchor(), 10),
               b.leftAnchor().constraintEqualTo(a.leftAnchor(), 10)};
     }},
    {"a negative size is applied",
     [](View&, View& a, View&) -> Constraints {
       return {a.heightAnchor().constraintEqualToConstant(-5)};
     }},
    {"crossed edges give a negative size",
     [](View& parent, View& a, View&) -> Constraints {
       return {a.topAnchor().constraintEqualTo(parent.bottomAnchor()),
               a.bottomAnchor().constraintEqualTo(parent.topAnchor())};
     }},
    {"an infinite constant reaches a frame", [](View& parent, View& a, View&) -> Constraints {
       return {a.leftAnchor().constraintEqualTo(parent.leftAnchor(),
                                                std::numeric_limits<double>::infinity())};
     }}};

// Each unsatisfiable set is reported once, naming its views, and layout goes on around it.
TEST(UnsatisfiableLayout, IsReportedOnceNamingTheViewsAndLayoutGoesOn) {
  for (const auto& [fault, build] : kBadSets) {
    SCOPED_TRACE(fault);
    auto parent = View::make(Rect{50, 50, 200, 100});
    auto a = constrained(parent), b = constrained(parent), bystander = constrained(parent);
    ConsoleCapture console;
    LayoutConstraint::activate(build(*parent, *a, *b));
    LayoutConstraint::activate(fit(*parent, *bystander, 5));
    parent->layoutIfNeeded();
    EXPECT_EQ(bystander->frame(), (Rect{5, 5, 190, 90}));
    const auto lines = console.lines();
    ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
    EXPECT_TRUE(lines[0].contains(a->description())) << lines[0];
    EXPECT_FALSE(lines[0].contains(bystander->description())) << lines[0];
    EXPECT_GE(a->frame().size.width, 0);
    EXPECT_GE(a->frame().size.height, 0);
  }
}

TEST_F(LayoutTest, RemovingAViewEndsItsConstraintsToTheTreeItLeaves) {
  auto child = constrained(parent_), inner = constrained(child);
  auto toParent = inner->widthAnchor().constraintEqualTo(parent_->widthAnchor());
  auto withinChild = inner->heightAnchor().constraintEqualTo(child->heightAnchor());
  layOut({toParent, withinChild});
  child->removeFromSuperview();
  EXPECT_FALSE(toParent->isActive()) << "a constraint to the tree it left";
  EXPECT_TRUE(withinChild->isActive()) << "a constraint within the view that left";
  auto stranger = View::make();
  auto across = stranger->widthAnchor().constraintEqualTo(parent_->widthAnchor());
  across->setActive(true);  // no common tree
  EXPECT_FALSE(across->isActive());
  std::weak_ptr<View> gone = inner;
  // The constraint lists must not keep views alive, nor the other way round.
  withinChild = nullptr, inner = nullptr, child = nullptr;
  EXPECT_TRUE(gone.expired());
}

struct SelfRemovingView : public View {
  void layoutSubviews() override {
    View::layoutSubviews();
    ++layouts;
    removeFromSuperview();
  }
  int layouts = 0;
};

TEST_F(LayoutTest, ViewMayRemoveItselfFromInsideItsLayout) {
  auto first = View::make<SelfRemovingView>(Rect{}), second = View::make<SelfRemovingView>(Rect{});
  for (const auto& view : {first, second}) parent_->addSubview(view);
  first = nullptr;
  for (int pass = 0; pass < 2; ++pass) parent_->layoutIfNeeded();
  EXPECT_EQ(second->layouts, 1);
  EXPECT_TRUE(parent_->subviews().empty());
}

}  // namespace
