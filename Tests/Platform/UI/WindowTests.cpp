#include "Platform/UI/Window.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "Platform/UI/Layer.h"
#include "Platform/UI/LayoutConstraint.h"
#include "Platform/UI/View.h"
#include "Platform/UI/ViewController.h"
#include "Tests/Platform/UI/GeometryPrinting.h"

using namespace platform;

namespace {

TEST(WindowTest, DisplayRequestsAreCoalescedUntilDrawn) {
  auto window = Window::make({0, 0, 100, 100});
  auto view = View::make(Rect{0, 0, 10, 10});
  int requests = 0;
  window->setDisplayRequestHandler([&] { ++requests; });
  const auto before = window->displayGeneration();
  window->addSubview(view);
  view->setAlpha(0.5);
  view->layer()->setCornerRadius(3);
  EXPECT_EQ(requests, 1) << "display requests not coalesced";
  EXPECT_GE(window->displayGeneration(), before + 3) << "a change left the generation alone";
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

// Hosts read the root view's size as soon as the window's changes (in the orientation
// observer, say), before any layout pass; what the root view lays out follows on the next.
TEST(WindowTest, RootViewFollowsTheWindowsSizeAtOnceAndLaysOutAgain) {
  auto window = Window::make({0, 0, 320, 480});
  auto overlay = View::make(Rect{0, 0, 10, 10});
  window->addSubview(overlay);
  auto root = ViewController::make();
  window->setRootViewController(root);
  const auto& view = root->view();
  EXPECT_EQ(view->frame(), (Rect{0, 0, 320, 480}));
  EXPECT_EQ(window->subviews(), (std::vector{view, overlay}));  // behind what is shown over it
  auto bar = View::make();
  view->addSubview(bar);
  bar->setTranslatesAutoresizingMaskIntoConstraints(false);
  LayoutConstraint::activate(std::array{bar->leftAnchor().constraintEqualTo(view->leftAnchor()),
                                        bar->rightAnchor().constraintEqualTo(view->rightAnchor()),
                                        bar->topAnchor().constraintEqualTo(view->topAnchor()),
                                        bar->heightAnchor().constraintEqualToConstant(20)});
  window->setFrame({0, 0, 480, 320});
  EXPECT_EQ(view->frame(), (Rect{0, 0, 480, 320}));
  window->setBounds({0, 0, 600, 300});
  EXPECT_EQ(view->frame(), (Rect{0, 0, 600, 300}));
  window->layoutIfNeeded();
  EXPECT_EQ(bar->frame(), (Rect{0, 0, 600, 20}));

  auto next = ViewController::make();
  window->setRootViewController(next);
  EXPECT_EQ(view->superview(), nullptr);
  EXPECT_EQ(next->view()->frame(), (Rect{0, 0, 600, 300}));
}

}  // namespace
