#include "Classes/UI/Extensions/ViewControllerExtensions.h"

#include <gtest/gtest.h>

#include <memory>

#include "Platform/UI/NavigationController.h"
#include "Tests/Support/MainLoopPump.h"

using brelum::topVisibleController;
using platform::NavigationController;
using platform::ViewController;

namespace {

class TopVisibleController : public ::testing::Test {
 protected:
  void TearDown() override { testsupport::drainMainQueue(); }  // presentation completions
};

TEST_F(TopVisibleController, FollowsNavigationStacksAndPresentations) {
  auto empty = ViewController::make<NavigationController>();
  EXPECT_EQ(topVisibleController(*empty), empty);

  auto root = ViewController::make();
  auto top = ViewController::make();
  auto navigation = ViewController::make<NavigationController>(root);
  navigation->pushViewController(top, false);
  auto modal = ViewController::make();
  top->present(modal, false);
  EXPECT_EQ(topVisibleController(*navigation), modal);
  EXPECT_EQ(topVisibleController(*root), root);

  // What a navigation controller presents is not looked at.
  auto overNavigation = ViewController::make();
  navigation->present(overNavigation, false);
  EXPECT_EQ(topVisibleController(*navigation), modal);

  // A presented navigation controller is followed into.
  auto host = ViewController::make();
  auto second = ViewController::make<NavigationController>(ViewController::make());
  host->present(second, false);
  EXPECT_EQ(topVisibleController(*host), second->topViewController());

  // Controllers in a loop answer without recursing forever.
  auto loopStart = ViewController::make<NavigationController>();
  auto loopEnd = ViewController::make<NavigationController>(loopStart);
  loopStart->pushViewController(loopEnd, false);
  EXPECT_EQ(topVisibleController(*loopStart), loopEnd);
  loopStart->setViewControllers({});
  loopEnd->setViewControllers({});
}

}  // namespace
