#include "Platform/UI/View.h"
#include "Tests/Platform/UI/GeometryPrinting.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Platform/UI/Layer.h"
#include "Platform/UI/Window.h"

using platform::Color;
using platform::EdgeInsets;
using platform::Layer;
using platform::Point;
using platform::Rect;
using platform::View;
using platform::Window;

namespace {

TEST(ViewTest, FrameCenterAndBoundsStayConsistent) {
  auto view = View::make(Rect{10, 20, 100, 50});
  EXPECT_EQ(view->center(), (Point{60, 45}));
  view->setBounds({5, 5, 40, 30});
  EXPECT_EQ(view->frame(), (Rect{40, 30, 40, 30}));
  view->setCenter({0, 0});
  EXPECT_EQ(view->frame(), (Rect{-20, -15, 40, 30}));
  EXPECT_EQ(view->bounds().origin, (Point{5, 5}));
  view->setFrame({10, 10, -20, 30});  // negative width: standardised
  EXPECT_EQ(view->frame(), (Rect{-10, 10, 20, 30}));
  view->setFrame({0, 0, std::numeric_limits<double>::quiet_NaN(), 1});
  view->setCenter({std::numeric_limits<double>::infinity(), 0});
  EXPECT_EQ(view->frame(), (Rect{-10, 10, 20, 30}));
}

TEST(ViewTest, TagSearchTakesTheViewItselfThenDepthFirst) {
  auto root = View::make();
  auto first = View::make();
  auto deep = View::make();
  auto second = View::make();
  first->addSubview(deep);
  root->addSubview(first);
  root->addSubview(second);
  deep->setTag(7);
  second->setTag(7);
  EXPECT_EQ(root->viewWithTag(7), deep);
  root->setTag(7);
  EXPECT_EQ(root->viewWithTag(7), root);
  EXPECT_EQ(root->viewWithTag(8), nullptr);
}

TEST(ViewTest, SubviewsKeepOrderAcrossMovesAndRefuseCycles) {
  auto root = View::make();
  auto a = View::make(), b = View::make(), c = View::make();
  root->addSubview(a);
  root->addSubview(b);
  root->insertSubview(c, 0);
  EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<View>>{c, a, b}));
  root->addSubview(c);  // moves to the end
  EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<View>>{a, b, c}));
  root->insertSubview(a, 99);
  EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<View>>{b, c, a}));
  b->addSubview(c);
  EXPECT_EQ(c->superview(), b);
  EXPECT_EQ(root->subviews().size(), 2u);
  c->addSubview(root);  // root is c's ancestor
  c->addSubview(c);
  EXPECT_TRUE(c->subviews().empty());
  EXPECT_EQ(root->superview(), nullptr);
  c->removeFromSuperview();
  EXPECT_EQ(c->superview(), nullptr);
  EXPECT_TRUE(b->subviews().empty());
}

TEST(ViewTest, TintIsInheritedAndSafeAreaComesFromTheWindow) {
  auto window = Window::make({0, 0, 375, 667});
  window->setSafeAreaInsets({44, 0, 34, 0});
  auto parent = View::make(Rect{0, 20, 375, 300});
  auto child = View::make(Rect{10, 10, 50, 50});
  window->addSubview(parent);
  parent->addSubview(child);
  EXPECT_EQ(child->tintColor(), Color::systemBlue());
  window->setTintColor(Color::white());
  EXPECT_EQ(child->tintColor(), Color::white());
  EXPECT_EQ(parent->safeAreaInsets(), (EdgeInsets{24, 0, 0, 0}));
  EXPECT_EQ(child->safeAreaInsets(), (EdgeInsets{14, 0, 0, 0}));
}

TEST(WindowTest, DisplayRequestsAreCoalescedUntilDrawn) {
  auto window = Window::make({0, 0, 100, 100});
  auto view = View::make(Rect{0, 0, 10, 10});
  int requests = 0;
  window->setDisplayRequestHandler([&] { ++requests; });
  const auto before = window->displayGeneration();
  window->addSubview(view);
  view->setAlpha(0.5);
  view->layer()->setCornerRadius(3);
  EXPECT_EQ(requests, 1);
  EXPECT_GE(window->displayGeneration(), before + 3);
  window->didDisplay();
  auto sublayer = Layer::make();
  view->layer()->addSublayer(sublayer);
  EXPECT_EQ(requests, 2);
  window->didDisplay();
  const auto drawn = window->displayGeneration();
  sublayer->setFrame({1, 2, 3, 4});
  EXPECT_GT(window->displayGeneration(), drawn);
  view->setAlpha(0.5);  // no change, no request
  view->removeFromSuperview();
  EXPECT_EQ(requests, 3);
  window->didDisplay();
  view->setAlpha(1);  // no longer in the window
  EXPECT_EQ(requests, 3);
}

}  // namespace
