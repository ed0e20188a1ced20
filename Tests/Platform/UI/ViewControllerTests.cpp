#include "Platform/UI/ViewController.h"

#include <gtest/gtest.h>

#include "Platform/UI/View.h"
#include "Platform/UI/Window.h"
#include "Tests/Platform/UI/GeometryPrinting.h"
#include "Tests/Support/MainLoopPump.h"

using namespace platform;

namespace {

struct CountingController : public ViewController {
  void loadView() override {
    ++loads;
    (void)view();  // reading the view while it loads must not load it again
    setView(View::make(Rect{0, 0, 10, 10}));
  }
  void viewDidLoad() override {
    ++didLoads;
    view()->setTag(5);
  }
  int loads = 0, didLoads = 0;
};

TEST(ViewControllerTest, ViewLoadsOnceOnFirstAccess) {
  auto controller = ViewController::make<CountingController>();
  EXPECT_FALSE(controller->isViewLoaded());
  EXPECT_EQ(controller->view()->tag(), 5);
  (void)controller->view();
  EXPECT_EQ(controller->loads + controller->didLoads, 2);
}

TEST(ViewControllerTest, PresentationChainsAndDismissal) {
  auto window = Window::make({0, 0, 320, 480});
  auto root = ViewController::make(), first = ViewController::make();
  auto second = ViewController::make();
  window->addSubview(root->view());
  int completions = 0;
  root->present(first, true, [&] { ++completions; });
  first->present(second, false, [&] { ++completions; });
  root->present(second, false);  // root presents already; second is presented elsewhere
  EXPECT_TRUE(root->presentedViewController() == first &&
              second->presentingViewController() == first && completions == 0);
  EXPECT_TRUE(first->view()->superview() == window && first->view()->frame() == window->bounds());
  ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return completions == 2; }));

  first->dismiss(false);  // first presents second: second goes
  EXPECT_FALSE(first->presentedViewController() || second->view()->superview());
  root->present(second, false);  // still presents first
  EXPECT_EQ(second->presentingViewController(), nullptr);
  first->dismiss(false);  // presents nothing: asks its presenter
  EXPECT_FALSE(root->presentedViewController() || first->presentingViewController() ||
               first->view()->superview());
}

}  // namespace
