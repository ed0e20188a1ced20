#include "Platform/UI/LayoutConstraint.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <memory>
#include <utility>
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
  EXPECT_EQ((std::array{child->frame(), corner->frame(), byDirection->frame()}),
            (std::array<Rect, 3>{{{8, 8, 184, 84}, {172, 4, 24, 24}, {10, 2, 90, 4}}}));

  parent_->setSemanticContentAttribute(SemanticContentAttribute::forceRightToLeft);
  parent_->setBounds({10, 0, 300, 50});  // bounds origin shifts what the edges are
  fitted[0]->setConstant(2);
  parent_->layoutIfNeeded();
  EXPECT_EQ((std::array{child->frame(), corner->frame(), byDirection->frame(), byEdge->frame()}),
            (std::array<Rect, 4>{
                {{18, 2, 284, 40}, {282, 4, 24, 24}, {110, 2, 190, 4}, {20, 2, 90, 4}}}));
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
  EXPECT_EQ(std::pair(row[0]->frame(), row[4]->frame()),
            std::pair(Rect{0, 47, 10, 6}, Rect{48, 48, 10, 4}));
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
    EXPECT_TRUE(lines[0].contains(a->description()) && !lines[0].contains(bystander->description()))
        << lines[0];
    EXPECT_TRUE(a->frame().size.width >= 0 && a->frame().size.height >= 0);
  }
}

TEST_F(LayoutTest, RemovingAViewEndsItsConstraintsToTheTreeItLeaves) {
  auto child = constrained(parent_), inner = constrained(child);
  auto toParent = inner->widthAnchor().constraintEqualTo(parent_->widthAnchor());
  auto withinChild = inner->heightAnchor().constraintEqualTo(child->heightAnchor());
  layOut({toParent, withinChild});
  child->removeFromSuperview();
  EXPECT_TRUE(!toParent->isActive() && withinChild->isActive());
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
  EXPECT_TRUE(second->layouts == 1 && parent_->subviews().empty());
}

}  // namespace
