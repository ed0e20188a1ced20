#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Foundation/Console.h"
#include "Platform/UI/LayoutConstraint.h"
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
  EXPECT_EQ(corner->frame(), (Rect{172, 4, 24, 24}));
  EXPECT_EQ(byDirection->frame().origin.x, 10);
  EXPECT_EQ(byDirection->frame().size.width, 90);

  parent_->setSemanticContentAttribute(SemanticContentAttribute::forceRightToLeft);
  parent_->setBounds({10, 0, 300, 50});  // bounds origin shifts what the edges are
  fitted[0]->setConstant(2);
  parent_->layoutIfNeeded();
  EXPECT_EQ(child->frame(), (Rect{18, 2, 284, 40}));
  EXPECT_EQ(corner->frame(), (Rect{282, 4, 24, 24}));
  EXPECT_EQ(byDirection->frame().origin.x, 110);
  EXPECT_EQ(byDirection->frame().size.width, 190);
  EXPECT_EQ(byEdge->frame().origin.x, 20);
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
  EXPECT_EQ(row[4]->frame(), (Rect{48, 48, 10, 4}));  // height untouched: not constrained
  EXPECT_EQ(row[0]->frame(), (Rect{0, 47, 10, 6}));
  EXPECT_TRUE(console_.lines().empty());
}

// Each unsatisfiable set is reported once, naming its views, and layout goes on around it.
TEST(UnsatisfiableLayout, IsReportedOnceNamingTheViewsAndLayoutGoesOn) {
  const double infinity = std::numeric_limits<double>::infinity();
  for (int set = 0; set < 5; ++set) {
    SCOPED_TRACE(set);
    auto parent = View::make(Rect{50, 50, 200, 100});
    auto a = constrained(parent), b = constrained(parent), bystander = constrained(parent);
    const std::vector<Constraints> sets{
        {a->widthAnchor().constraintEqualToConstant(10),
         a->widthAnchor().constraintEqualToConstant(20)},
        {a->leftAnchor().constraintEqualTo(b->leftAnchor(), 10),
         b->leftAnchor().constraintEqualTo(a->leftAnchor(), 10)},  // a cycle
        {a->heightAnchor().constraintEqualToConstant(-5)},
        {a->topAnchor().constraintEqualTo(parent->bottomAnchor()),
         a->bottomAnchor().constraintEqualTo(parent->topAnchor())},
        {a->leftAnchor().constraintEqualTo(parent->leftAnchor(), infinity)}};
    ConsoleCapture console;
    LayoutConstraint::activate(sets[set]);
    LayoutConstraint::activate(fit(*parent, *bystander, 5));
    parent->layoutIfNeeded();
    EXPECT_EQ(bystander->frame(), (Rect{5, 5, 190, 90}));
    const auto lines = console.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(a->description()), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].find(bystander->description()), std::string::npos) << lines[0];
    EXPECT_GE(a->frame().size.width, 0);
    EXPECT_GE(a->frame().size.height, 0);
  }
}

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
