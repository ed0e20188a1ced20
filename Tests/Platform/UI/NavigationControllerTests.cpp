#include "Platform/UI/NavigationController.h"

#include <gtest/gtest.h>

#include <vector>

#include "Platform/UI/View.h"
#include "Platform/UI/ViewController.h"
#include "Tests/Platform/UI/GeometryPrinting.h"

using namespace platform;

namespace {

TEST(NavigationControllerTest, StackShowsItsTopControllersViewFitted) {
  auto root = ViewController::make(), next = ViewController::make();
  auto navigation = ViewController::make<NavigationController>(root);
  navigation->pushViewController(next, false);
  navigation->pushViewController(next, false);  // already on the stack
  navigation->pushViewController(nullptr, false);
  EXPECT_EQ(navigation->viewControllers(), (std::vector{root, next}));
  EXPECT_EQ(navigation->topViewController(), next);
  EXPECT_FALSE(next->isViewLoaded());  // nothing loads until the navigation view does
  navigation->view()->setFrame({0, 0, 200, 100});
  navigation->view()->layoutIfNeeded();
  EXPECT_EQ(next->view()->superview(), navigation->view());
  EXPECT_EQ(next->view()->frame(), (Rect{0, 0, 200, 100}));
  EXPECT_EQ(navigation->popViewController(false), next);
  EXPECT_EQ(navigation->popViewController(false), nullptr);  // the root stays
  EXPECT_EQ(next->view()->superview(), nullptr);
  EXPECT_EQ(navigation->view()->subviews(), std::vector{root->view()});
}

}  // namespace
