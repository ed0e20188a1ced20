#include "Platform/UI/View.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"
#include "Tests/Platform/UI/GeometryPrinting.h"
#include "Tests/Support/MainLoopPump.h"

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
  EXPECT_EQ(view->bounds().origin, (Point{5, 5}));
  view->setFrame({10, 10, -20, 30});  // negative width: standardised
  EXPECT_EQ(view->frame(), (Rect{-10, 10, 20, 30}));
  view->setFrame({0, 0, std::numeric_limits<double>::quiet_NaN(), 1});
  view->setCenter({std::numeric_limits<double>::infinity(), 0});
  EXPECT_EQ(view->frame(), (Rect{-10, 10, 20, 30}));
}

TEST(ViewTest, SubviewsKeepOrderAcrossMovesTagSearchIsDepthFirstAndCyclesAreRefused) {
  auto root = View::make(), a = View::make(), b = View::make(), c = View::make();
  auto deep = View::make();
  root->addSubview(a);
  root->addSubview(b);
  root->insertSubview(c, 0);
  EXPECT_EQ(root->subviews(), (Views{c, a, b}));
  root->addSubview(c);  // moves to the end
  root->insertSubview(a, 99);
  EXPECT_EQ(root->subviews(), (Views{b, c, a}));
  b->addSubview(deep);
  deep->setTag(7);
  a->setTag(7);
  EXPECT_EQ(root->viewWithTag(7), deep);
  EXPECT_EQ(root->viewWithTag(8), nullptr);
  root->setTag(7);
  EXPECT_EQ(root->viewWithTag(7), root);
  b->addSubview(c);
  EXPECT_EQ(root->subviews(), (Views{b, a}));
  c->addSubview(root);  // root is c's ancestor
  c->addSubview(c);
  EXPECT_TRUE(c->subviews().empty());
  EXPECT_EQ(root->superview(), nullptr);
  c->removeFromSuperview();
  EXPECT_EQ(c->superview(), nullptr);
  EXPECT_EQ(b->subviews(), Views{deep});
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

struct Companion {
  explicit Companion(int* alive) : alive(alive) { ++*alive; }
  ~Companion() { --*alive; }
  int* alive;
};
const char kKey = 0, kOtherKey = 0;

TEST(ObjectTest, AssociatedObjectsAreRetainedReplacedAndReleasedWithTheirOwner) {
  int alive = 0;
  auto view = View::make();
  view->setAssociatedObject(&kKey, std::make_shared<Companion>(&alive));
  EXPECT_EQ(alive, 1);
  EXPECT_NE(view->associatedObject<Companion>(&kKey), nullptr);
  EXPECT_EQ(view->associatedObject<std::string>(&kKey), nullptr);  // stored as another type
  EXPECT_EQ(view->associatedObject(&kOtherKey), nullptr);
  view->setAssociatedObject(&kKey, std::make_shared<Companion>(&alive));
  EXPECT_EQ(alive, 1);  // the first one went
  view->setAssociatedObject(&kOtherKey, std::make_shared<std::string>("x"));
  view->setAssociatedObject(&kOtherKey, std::shared_ptr<void>());
  EXPECT_EQ(view->associatedObject(&kOtherKey), nullptr);
  view.reset();
  EXPECT_EQ(alive, 0);
}

TEST(ButtonTest, ShowsTheImageOfItsStateInsetAndTinted) {
  auto button = View::make<Button>(Rect{0, 0, 24, 24});
  auto pressed = Image::make(1, 1, {0, 0, 0, 255});
  auto normal = pressed->withRenderingMode(Image::RenderingMode::alwaysTemplate);
  button->setImage(normal, ControlState::normal);
  button->setImage(pressed, ControlState::highlighted);
  button->setImageEdgeInsets({6, 6, 6, 6});
  button->setTintColor(Color::white());
  button->layoutIfNeeded();
  const auto& imageView = button->imageView();
  EXPECT_EQ(imageView->frame(), (Rect{6, 6, 12, 12}));
  EXPECT_EQ(imageView->image(), normal);
  EXPECT_TRUE(imageView->drawsAsTemplate());
  EXPECT_EQ(imageView->tintColor(), Color::white());
  button->setHighlighted(true);
  EXPECT_EQ(button->currentImage(), pressed);
  EXPECT_EQ(imageView->image(), pressed);
  button->setSelected(true);  // highlighted and selected has no image of its own
  EXPECT_EQ(imageView->image(), normal);
  button->setImage(nullptr, ControlState::normal);
  EXPECT_EQ(imageView->image(), nullptr);
  EXPECT_EQ(button->hitTest({12, 12}), button);  // the image view lets touches through
}

TEST(ApplicationTest, ListsLiveWindowsInOrderFindsTheKeyOneAndAnnouncesChanges) {
  auto first = Window::make({0, 0, 10, 10}), second = Window::make({0, 0, 10, 10});
  Window::make({0, 0, 10, 10})->makeKey();  // gone at once
  auto& app = Application::shared();
  EXPECT_EQ(app.windows(), (std::vector{first, second}));
  EXPECT_EQ(app.keyWindow(), nullptr);
  second->makeKeyAndVisible();
  EXPECT_FALSE(second->isHidden());
  EXPECT_EQ(app.keyWindow(), second);
  first->makeKey();
  EXPECT_FALSE(second->isKeyWindow());
  EXPECT_EQ(app.keyWindow(), first);

  std::vector<std::string> seen;
  auto& center = *NotificationCenter::defaultCenter();
  auto token = center.addObserver(std::nullopt, nullptr, nullptr, [&](const auto& note) {
    if (note.name.starts_with("UI")) seen.push_back(note.name);
  });
  for (auto state : {ApplicationState::active, ApplicationState::inactive,
                     ApplicationState::background, ApplicationState::active}) {
    app.setState(state);
  }
  for (auto turn : {DeviceOrientation::landscapeLeft, DeviceOrientation::landscapeLeft,
                    DeviceOrientation::portrait}) {
    app.setOrientation(turn);
  }
  center.removeObserver(token);
  const std::string turned = "UIDeviceOrientationDidChangeNotification";
  EXPECT_EQ(seen,
            (std::vector<std::string>{"UIApplicationWillResignActiveNotification",
                                      "UIApplicationDidBecomeActiveNotification", turned, turned}));
}

class CountingController : public ViewController {
 public:
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
  EXPECT_EQ(root->presentedViewController(), first);
  EXPECT_EQ(second->presentingViewController(), first);
  EXPECT_EQ(first->view()->superview(), window);
  EXPECT_EQ(first->view()->frame(), window->bounds());
  EXPECT_EQ(completions, 0);
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

TEST(NavigationControllerTest, StackShowsItsTopControllersViewFitted) {
  auto root = ViewController::make(), next = ViewController::make();
  auto navigation = ViewController::make<NavigationController>(root);
  navigation->pushViewController(next, false);
  navigation->pushViewController(next, false);  // already on the stack
  navigation->pushViewController(nullptr, false);
  EXPECT_EQ(navigation->viewControllers().size(), 2u);
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
