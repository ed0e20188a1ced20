#include "Platform/UI/View.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

#include "Platform/UI/Window.h"
#include "Tests/Platform/UI/GeometryPrinting.h"

using namespace platform;

namespace {

using Views = std::vector<std::shared_ptr<View>>;

TEST(ViewTest, FrameCenterAndBoundsStayConsistent) {
  auto view = View::make(Rect{10, 20, 100, 50});
  EXPECT_EQ(view->center(), (Point{60, 45}));
  view->setBounds({5, 5, 40, 30});
  EXPECT_EQ(view->frame(), (Rect{40, 30, 40, 30}));
  view->setCenter({0, 0});
  EXPECT_EQ(view->frame(), (Rect{-20, -15, 40, 30}));
  EXPECT_EQ(view->bounds(), (Rect{5, 5, 40, 30})) << "moving the centre changed the bounds";
  view->setFrame({10, 10, -20, 30});  // negative width: standardised
  EXPECT_EQ(view->frame(), (Rect{-10, 10, 20, 30}));
  view->setFrame({0, 0, std::numeric_limits<double>::quiet_NaN(), 1});
  view->setCenter({std::numeric_limits<double>::infinity(), 0});
  EXPECT_EQ(view->frame(), (Rect{-10, 10, 20, 30}));
}

TEST(ViewTest, SubviewsKeepOrderAcrossMovesTagSearchIsDepthFirstAndCyclesAreRefused) {
  auto root = View::make(), a = View::make(), b = View::make(), c = View::make(), d = View::make();
  for (const auto& view : {a, b}) root->addSubview(view);
  root->insertSubview(c, 0);
  EXPECT_EQ(root->subviews(), (Views{c, a, b}));
  root->addSubview(c);  // moves to the end
  root->insertSubview(a, 99);
  EXPECT_EQ(root->subviews(), (Views{b, c, a}));
  b->addSubview(d);
  d->setTag(7);
  a->setTag(7);
  EXPECT_EQ(root->viewWithTag(7), d) << "not depth first";
  EXPECT_EQ(root->viewWithTag(8), nullptr);
  root->setTag(7);
  EXPECT_EQ(root->viewWithTag(7), root);
  b->addSubview(c);
  EXPECT_EQ(root->subviews(), (Views{b, a}));
  c->addSubview(root);  // root is c's ancestor
  c->addSubview(c);
  EXPECT_TRUE(c->subviews().empty()) << "took an ancestor or itself as a subview";
  EXPECT_EQ(root->superview(), nullptr);
  c->removeFromSuperview();
  EXPECT_EQ(c->superview(), nullptr);
  EXPECT_EQ(b->subviews(), Views{d});
}

TEST(ViewTest, TintIsInheritedAndSafeAreaComesFromTheWindow) {
  auto window = Window::make({0, 0, 375, 667});
  window->setSafeAreaInsets({44, 0, 34, 0});
  auto parent = View::make(Rect{0, 20, 375, 300}), child = View::make(Rect{10, 10, 50, 50});
  window->addSubview(parent);
  parent->addSubview(child);
  EXPECT_EQ(child->tintColor(), Color::systemBlue());
  window->setTintColor(Color::white());
  EXPECT_EQ(child->tintColor(), Color::white());
  EXPECT_EQ(parent->safeAreaInsets(), (EdgeInsets{24, 0, 0, 0}));
  EXPECT_EQ(child->safeAreaInsets(), (EdgeInsets{14, 0, 0, 0}));
}

}  // namespace
