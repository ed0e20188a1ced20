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
  EXPECT_EQ(controller->loads, 1);
  EXPECT_EQ(controller->didLoads, 1);
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
  EXPECT_EQ(root->presentedViewController(), first);
  EXPECT_EQ(second->presentingViewController(), first);
  EXPECT_EQ(completions, 0) << "a completion ran inside present";
  EXPECT_EQ(first->view()->superview(), window);
  EXPECT_EQ(first->view()->frame(), window->bounds());
  ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return completions == 2; }));

  first->dismiss(false);  // first presents second: second goes
  EXPECT_EQ(first->presentedViewController(), nullptr);
  EXPECT_EQ(second->view()->superview(), nullptr);
  root->present(second, false);  // still presents first
  EXPECT_EQ(second->presentingViewController(), nullptr);
  first->dismiss(false);  // presents nothing: asks its presenter
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(first->presentingViewController(), nullptr);
  EXPECT_EQ(first->view()->superview(), nullptr);
}

}  // namespace
