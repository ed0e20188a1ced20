#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Foundation/Console.h"
#include "Platform/UI/LayoutConstraint.h"
#include "Platform/UI/View.h"
#include "Tests/Platform/UI/GeometryPrinting.h"

using platform::ConsoleCapture;
using platform::LayoutConstraint;
using platform::Rect;
using platform::SemanticContentAttribute;
using platform::View;

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

TEST_F(LayoutTest, FittedViewFollowsItsSuperviewsBounds) {
  auto child = constrained(parent_);
  layOut(fit(*parent_, *child, 8));
  EXPECT_EQ(child->frame(), (Rect{8, 8, 184, 84}));
  parent_->setBounds({10, 0, 300, 50});  // bounds origin shifts what the edges are
  parent_->layoutIfNeeded();
  EXPECT_EQ(child->frame(), (Rect{18, 8, 284, 34}));
  EXPECT_TRUE(console_.lines().empty());
}

TEST_F(LayoutTest, CornerInsetButtonWithConstantSize) {
  auto button = constrained(parent_);
  // Written from the superview's side: the subview is the second item.
  layOut({button->widthAnchor().constraintEqualToConstant(24),
          parent_->topAnchor().constraintEqualTo(button->topAnchor(), -4),
          button->heightAnchor().constraintEqualToConstant(24),
          button->rightAnchor().constraintEqualTo(parent_->rightAnchor(), -4)});
  EXPECT_EQ(button->frame(), (Rect{172, 4, 24, 24}));
}

TEST_F(LayoutTest, LeadingAndTrailingMirrorInRightToLeftButLeftAndRightDoNot) {
  auto byDirection = constrained(parent_);
  auto byEdge = constrained(parent_);
  layOut({byDirection->leadingAnchor().constraintEqualTo(parent_->leadingAnchor(), 10),
          byDirection->trailingAnchor().constraintEqualTo(parent_->trailingAnchor(), -100),
          byEdge->leftAnchor().constraintEqualTo(parent_->leftAnchor(), 10),
          byEdge->widthAnchor().constraintEqualToConstant(90)});
  EXPECT_EQ(byDirection->frame().origin.x, 10);
  EXPECT_EQ(byDirection->frame().size.width, 90);
  parent_->setSemanticContentAttribute(SemanticContentAttribute::forceRightToLeft);
  parent_->layoutIfNeeded();
  EXPECT_EQ(byDirection->frame().origin.x, 100);
  EXPECT_EQ(byDirection->frame().size.width, 90);
  EXPECT_EQ(byEdge->frame().origin.x, 10);
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
  constraints.push_back(row[0]->leftAnchor().constraintEqualTo(parent_->leftAnchor()));
  constraints.push_back(row[0]->widthAnchor().constraintEqualToConstant(10));
  constraints.push_back(row[0]->centerYAnchor().constraintEqualTo(parent_->centerYAnchor()));
  constraints.push_back(row[0]->heightAnchor().constraintEqualToConstant(6));
  layOut(constraints);
  EXPECT_EQ(row[4]->frame(), (Rect{48, 48, 10, 4}));  // height untouched: not constrained
  EXPECT_EQ(row[0]->frame(), (Rect{0, 47, 10, 6}));
  EXPECT_TRUE(console_.lines().empty());
}

struct BadSet {
  const char* name;
  Constraints (*make)(View& parent, View& a, View& b);
};

class UnsatisfiableLayout : public LayoutTest, public ::testing::WithParamInterface<BadSet> {};

TEST_P(UnsatisfiableLayout, IsReportedOnceNamingTheViewsAndLayoutGoesOn) {
  auto a = constrained(parent_);
  auto b = constrained(parent_);
  auto bystander = constrained(parent_);
  auto constraints = GetParam().make(*parent_, *a, *b);
  auto good = fit(*parent_, *bystander, 5);
  constraints.insert(constraints.end(), good.begin(), good.end());
  layOut(constraints);
  EXPECT_EQ(bystander->frame(), (Rect{5, 5, 190, 90}));
  const auto lines = console_.lines();
  ASSERT_EQ(lines.size(), 1u);
  const std::string& line = lines.front();
  EXPECT_NE(line.find(a->description()), std::string::npos) << line;
  EXPECT_EQ(line.find(bystander->description()), std::string::npos) << line;
  EXPECT_GE(a->frame().size.width, 0);
  EXPECT_GE(a->frame().size.height, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, UnsatisfiableLayout,
    ::testing::Values(BadSet{"Conflict",
                             [](View&, View& a, View&) -> Constraints {
                               return {a.widthAnchor().constraintEqualToConstant(10),
                                       a.widthAnchor().constraintEqualToConstant(20)};
                             }},
                      BadSet{"Cycle",
                             [](View&, View& a, View& b) -> Constraints {
                               return {a.leftAnchor().constraintEqualTo(b.leftAnchor(), 10),
                                       b.leftAnchor().constraintEqualTo(a.leftAnchor(), 10)};
                             }},
                      BadSet{"NegativeSize",
                             [](View&, View& a, View&) -> Constraints {
                               return {a.heightAnchor().constraintEqualToConstant(-5)};
                             }},
                      BadSet{"NegativeSizeFromEdges",
                             [](View& p, View& a, View&) -> Constraints {
                               return {a.topAnchor().constraintEqualTo(p.bottomAnchor()),
                                       a.bottomAnchor().constraintEqualTo(p.topAnchor())};
                             }},
                      BadSet{"NotFinite",
                             [](View& p, View& a, View&) -> Constraints {
                               return {a.leftAnchor().constraintEqualTo(
                                   p.leftAnchor(), std::numeric_limits<double>::infinity())};
                             }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LayoutTest, RemovingAViewEndsItsConstraintsToTheTreeItLeaves) {
  auto child = constrained(parent_);
  auto inner = constrained(child);
  auto toParent = inner->widthAnchor().constraintEqualTo(parent_->widthAnchor());
  auto withinChild = inner->heightAnchor().constraintEqualTo(child->heightAnchor());
  layOut({toParent, withinChild});
  child->removeFromSuperview();
  EXPECT_FALSE(toParent->isActive());
  EXPECT_TRUE(withinChild->isActive());
  auto stranger = View::make();
  auto across = stranger->widthAnchor().constraintEqualTo(parent_->widthAnchor());
  across->setActive(true);  // no common tree
  EXPECT_FALSE(across->isActive());
  std::weak_ptr<View> gone = inner;
  withinChild.reset();
  inner.reset();
  child.reset();  // the constraint lists must not keep views alive, nor the other way round
  EXPECT_TRUE(gone.expired());
}

class SelfRemovingView : public View {
 public:
  void layoutSubviews() override {
    View::layoutSubviews();
    ++layouts;
    removeFromSuperview();
  }
  int layouts = 0;
};

TEST_F(LayoutTest, ViewMayRemoveItselfFromInsideItsLayout) {
  auto first = View::make<SelfRemovingView>(Rect{0, 0, 1, 1});
  auto second = View::make<SelfRemovingView>(Rect{0, 0, 1, 1});
  parent_->addSubview(first);
  parent_->addSubview(second);
  first.reset();
  parent_->layoutIfNeeded();
  parent_->layoutIfNeeded();
  EXPECT_EQ(second->layouts, 1);
  EXPECT_TRUE(parent_->subviews().empty());
}

}  // namespace
