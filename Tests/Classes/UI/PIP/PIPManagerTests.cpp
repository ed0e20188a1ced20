#include "Classes/UI/PIP/PIPManager.h"

#include <chrono>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Classes/UI/Extensions/ColorExtensions.h"
#include "Classes/UI/PIP/PIPContainerController.h"
#include "Classes/UI/PIP/PIPManagerEventDispatcher.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/UI/AnimationGroup.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/GestureRecognizer.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/Window.h"
#include "Tests/Support/MainLoopPump.h"

namespace brelum {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using namespace platform;
using testsupport::runMainLoopUntil;

class Controller : public ViewController, public PIPUsable {
 public:
  PIPState initial = PIPState::pip;
  PIPPosition position = PIPPosition::bottomRight;
  Size size{112, 200};
  std::vector<PIPState> changes;

  PIPState initialState() const override { return initial; }
  PIPPosition initialPosition() const override { return position; }
  Size pipSize() const override { return size; }
  void onStateChanged(PIPState state) override { changes.push_back(state); }
};

// The views with the close button's tag anywhere under `view`.
int closeButtons(const View& view) {
  int count = view.tag() == PIPManager::closeButtonTag ? 1 : 0;
  for (const auto& subview : view.subviews()) count += closeButtons(*subview);
  return count;
}

// Until every animation the manager and its dispatcher started, and whatever their
// completions started, has run its completion.
void settle() {
  ASSERT_TRUE(runMainLoopUntil([] { return platform::AnimationGroup::unfinishedCount() == 0; }));
  testsupport::drainMainQueue();
}

class PIPManagerTest : public ::testing::Test {
 protected:
  std::shared_ptr<Window> window_ = Window::make({0, 0, 375, 667});

  void SetUp() override { window_->makeKeyAndVisible(); }
  void TearDown() override {
    PIPManager::dismiss(false);
    PIPManager::setOnClosePipTapped(nullptr);
    window_.reset();
    settle();
  }

  std::shared_ptr<Controller> show(PIPPosition position = PIPPosition::bottomRight,
                                   PIPState initial = PIPState::pip,
                                   std::function<void()> completion = nullptr) {
    auto controller = ViewController::make<Controller>();
    controller->position = position;
    controller->initial = initial;
    PIPManager::show(controller, std::move(completion));
    return controller;
  }

  void drag(Point from, std::initializer_list<Point> through) {
    auto& app = Application::shared();
    app.sendPointer(window_, PointerPhase::down, from);
    Point at = from;
    for (Point p : through) app.sendPointer(window_, PointerPhase::moved, at = p);
    app.sendPointer(window_, PointerPhase::up, at);
  }
};

TEST_F(PIPManagerTest, FloatingWindowStandsAtItsPositionInTheSafeArea) {
  using enum PIPPosition;
  window_->setSafeAreaInsets({44, 10, 34, 20});
  const std::pair<PIPPosition, Point> origins[] = {
      {topLeft, {25, 59}},   {middleLeft, {25, 238.5}},   {bottomLeft, {25, 418}},
      {topRight, {228, 59}}, {middleRight, {228, 238.5}}, {bottomRight, {228, 418}}};
  for (const auto& [position, origin] : origins) {
    EXPECT_EQ(show(position)->view()->frame(), (Rect{origin, {112, 200}})) << int(position);
  }
}

// Each show completes once, after its own fade-in; a replaced view leaves unstyled.
TEST_F(PIPManagerTest, ShowingStylesTheFloatingWindowAndReplacingLeavesItUnstyledAndGone) {
  int completions = 0;
  auto first = show(PIPPosition::bottomRight, PIPState::pip, [&] { ++completions; });
  const auto& view = first->view();
  EXPECT_TRUE(PIPManager::isActive());
  EXPECT_TRUE(PIPManager::isPIP());
  EXPECT_EQ(PIPManager::visibleViewController(), first);
  EXPECT_EQ(view->superview(), window_);
  EXPECT_EQ(view->layer()->cornerRadius(), 2.0);
  EXPECT_TRUE(view->layer()->masksToBounds());
  EXPECT_EQ(closeButtons(*view), 1);
  EXPECT_EQ(first->changes, std::vector<PIPState>{PIPState::pip});
  EXPECT_EQ(completions, 0);
  ASSERT_TRUE(runMainLoopUntil([&] { return completions == 1; }));

  auto second = show(PIPPosition::bottomRight, PIPState::full, [&] { ++completions; });
  EXPECT_EQ(view->superview(), nullptr);
  EXPECT_EQ(view->layer()->cornerRadius(), 0);
  EXPECT_FALSE(view->layer()->masksToBounds());
  EXPECT_EQ(closeButtons(*view), 0);
  EXPECT_EQ(PIPManager::visibleViewController(), second);
  EXPECT_FALSE(PIPManager::isPIP());
  EXPECT_EQ(completions, 1);
  ASSERT_TRUE(runMainLoopUntil([&] { return completions == 2; }));
  settle();
  EXPECT_EQ(completions, 2);
}

// Showing again (by toggle) drops the dragged position and the old dispatcher with its
// recognizer.
TEST_F(PIPManagerTest, ToggleHidesKeepingThePresentationAndShowsByRestarting) {
  PIPManager::toggle(std::nullopt);  // nothing shown: nothing happens
  PIPManager::toggle(false);
  EXPECT_FALSE(PIPManager::isActive());

  auto controller = show(PIPPosition::topLeft);
  const auto& view = controller->view();
  settle();
  std::weak_ptr<PIPManagerEventDispatcher> first = pipEventDispatcher(*controller);
  drag({70, 115}, {{90, 115}, {300, 600}});
  settle();
  EXPECT_EQ(view->frame(), (Rect{248, 452, 112, 200}));
  PIPManager::toggle(std::nullopt);
  EXPECT_TRUE(view->isHidden());
  EXPECT_TRUE(PIPManager::isActive());
  PIPManager::showIfNeeds();  // hidden: nothing
  EXPECT_FALSE(first.expired());

  PIPManager::toggle(std::nullopt);
  EXPECT_FALSE(view->isHidden());
  EXPECT_TRUE(first.expired());
  EXPECT_EQ(view->frame(), (Rect{15, 15, 112, 200}));
  EXPECT_EQ(view->gestureRecognizers().size(), 1u);
  EXPECT_EQ(controller->changes, (std::vector<PIPState>{PIPState::pip, PIPState::pip}));

  // Asked to show while visible, it restarts all the same.
  settle();
  drag({71, 115}, {{71, 135}, {300, 600}});
  settle();
  PIPManager::toggle(true);
  EXPECT_EQ(view->frame(), (Rect{15, 15, 112, 200}));
}

// Completions run once each, in order; with nothing shown, none runs.
TEST_F(PIPManagerTest, DismissalRemovesTheViewBeforeTheCompletionRunsUnlessShownAgain) {
  std::vector<int> order;
  PIPManager::dismiss(true, [&] { order.push_back(0); });
  PIPManager::dismiss(false, [&] { order.push_back(0); });

  auto controller = show();
  PIPManager::dismiss(true, [&] {
    order.push_back(1);
    EXPECT_EQ(controller->view()->superview(), nullptr);
    EXPECT_FALSE(PIPManager::isActive());
  });
  EXPECT_TRUE(PIPManager::isActive()) << "gone before its fade-out";
  EXPECT_FALSE(PIPManager::isPIP());
  EXPECT_EQ(closeButtons(*controller->view()), 0);
  EXPECT_EQ(controller->view()->superview(), window_);
  ASSERT_TRUE(runMainLoopUntil([&] { return !order.empty(); }));
  show();
  PIPManager::dismiss(false, [&] { order.push_back(2); });
  EXPECT_EQ(order, (std::vector{1, 2}));
  EXPECT_FALSE(PIPManager::isActive());

  // A second animated dismissal joins the fade; an unanimated one ends it at once.
  show();
  PIPManager::dismiss(true, [&] { order.push_back(3); });
  PIPManager::dismiss(true, [&] { order.push_back(4); });
  EXPECT_EQ(order.size(), 2u);
  ASSERT_TRUE(runMainLoopUntil([&] { return order.size() == 4; }));
  show();
  PIPManager::dismiss(true, [&] { order.push_back(5); });
  PIPManager::dismiss(false, [&] { order.push_back(6); });
  EXPECT_EQ(order, (std::vector{1, 2, 3, 4, 5, 6}));
  EXPECT_FALSE(PIPManager::isActive());
  settle();
  EXPECT_EQ(order.size(), 6u);

  // Shown again during its fade-out: the dismissal completes, the new presentation stays.
  controller = show();
  PIPManager::dismiss(true, [&] { order.push_back(7); });
  startPIPMode(*controller);  // on its way out: ignored
  EXPECT_EQ(closeButtons(*controller->view()), 0);
  PIPManager::show(controller);
  EXPECT_EQ(order.size(), 7u);
  settle();
  EXPECT_EQ(order.size(), 7u);
  EXPECT_EQ(PIPManager::visibleViewController(), controller);
  EXPECT_TRUE(PIPManager::isPIP());
  EXPECT_EQ(controller->view()->superview(), window_);
  EXPECT_EQ(controller->view()->alpha(), 1.0);
  EXPECT_EQ(closeButtons(*controller->view()), 1);
}

TEST_F(PIPManagerTest, ShowWithoutAKeyWindowChangesNothing) {
  window_.reset();
  auto other = Window::make({0, 0, 100, 100});  // not key
  int completions = 0;
  auto controller = ViewController::make<Controller>();
  PIPManager::show(controller, [&] { ++completions; });
  settle();
  EXPECT_FALSE(PIPManager::isActive());
  EXPECT_EQ(completions, 0);
  EXPECT_FALSE(controller->isViewLoaded());
}

TEST_F(PIPManagerTest, CloseButtonIsAGreyCircleTopRightWhoseTapReachesTheHandlerOnly) {
  auto controller = show(PIPPosition::topLeft);
  settle();
  const auto button = std::dynamic_pointer_cast<Button>(controller->view()->viewWithTag(8887654));
  ASSERT_TRUE(button);
  EXPECT_EQ(button->frame(), (Rect{84, 4, 24, 24}));
  EXPECT_EQ(button->backgroundColor(), color(115, 115, 117, 255));
  EXPECT_EQ(button->layer()->cornerRadius(), 12);
  EXPECT_TRUE(button->layer()->masksToBounds());
  EXPECT_EQ(button->imageEdgeInsets(), (EdgeInsets{6, 6, 6, 6}));
  EXPECT_EQ(button->tintColor(), Color::white());
  ASSERT_TRUE(button->image(ControlState::normal));
  EXPECT_EQ(button->image(ControlState::normal)->renderingMode(),
            Image::RenderingMode::alwaysTemplate);

  drag({111, 31}, {});  // a tap on the button's centre, with no handler: nothing
  int taps = 0;
  PIPManager::setOnClosePipTapped([&] { ++taps; });
  drag({111, 31}, {});
  EXPECT_EQ(taps, 1);
  EXPECT_TRUE(PIPManager::isActive());
}

// Full mode is not draggable; starting pip styles at once and moves over time,
// telling the controller when the move ends. Each move lasts its own time (the fades, the
// changes of mode, the snap, the rotation), and rotation and a new pipSize lay the floating
// window out again at its remembered position.
TEST_F(PIPManagerTest, ModesStyleAtOnceAndEachMoveLastsItsOwnDuration) {
  auto controller = show(PIPPosition::topLeft, PIPState::full);
  const auto& view = controller->view();
  const auto pan = view->gestureRecognizers().front();
  auto& app = Application::shared();
  // The duration of the view's last animation, in milliseconds (none: 0).
  auto lasted = [&](const char*) {
    const auto records = view->animations();
    const auto ms = records.empty() ? 0 : round<milliseconds>(records.back().duration).count();
    settle();
    return ms;
  };
  EXPECT_EQ(view->frame(), window_->bounds());
  EXPECT_EQ(closeButtons(*view), 0);
  EXPECT_FALSE(pan->isEnabled());
  EXPECT_EQ(lasted("fade in"), 250);

  startPIPMode(*controller);
  EXPECT_EQ(closeButtons(*view), 1);
  EXPECT_EQ(view->frame(), (Rect{15, 15, 112, 200}));
  EXPECT_EQ(controller->changes, std::vector<PIPState>{PIPState::full});  // not before the end
  EXPECT_EQ(lasted("into pip"), 250);
  EXPECT_EQ(controller->changes, (std::vector<PIPState>{PIPState::full, PIPState::pip}));
  EXPECT_TRUE(pan->isEnabled());
  startPIPMode(*controller);  // again in pip: no second button, told pip again
  EXPECT_EQ(closeButtons(*view), 1);
  drag({71, 115}, {{71, 135}, {300, 600}});
  EXPECT_EQ(lasted("snap"), 150);
  EXPECT_EQ(controller->changes.size(), 3u);

  window_->setFrame({0, 0, 667, 375});
  app.setOrientation(DeviceOrientation::landscapeLeft);
  EXPECT_EQ(lasted("rotation"), 150);
  EXPECT_EQ(view->frame(), (Rect{540, 160, 112, 200}));
  controller->size = {200, 100};
  setNeedUpdatePIPSize(*controller);
  EXPECT_EQ(view->frame(), (Rect{452, 260, 200, 100}));

  stopPIPMode(*controller);
  EXPECT_EQ(closeButtons(*view), 0);
  EXPECT_EQ(view->frame(), window_->bounds());
  EXPECT_EQ(lasted("into full"), 250);
  EXPECT_EQ(controller->changes.back(), PIPState::full);
  window_->setFrame({0, 0, 375, 667});
  setNeedUpdatePIPSize(*controller);  // in full: no layout, so not the window's new bounds
  EXPECT_EQ(view->frame(), (Rect{0, 0, 667, 375}));
  app.setOrientation(DeviceOrientation::portrait);
  EXPECT_EQ(view->frame(), window_->bounds());
  PIPManager::dismiss(true);
  EXPECT_EQ(lasted("fade out"), 150);
}

// Dragging stops at the margins (the lower bound winning when the window is too small), a
// cancelled drag does not snap, and a drop snaps to the nearest position. In a window of
// 300 x 600 the row bands (T = 200) and the middle line fall on whole numbers.
TEST_F(PIPManagerTest, DragsStopAtTheMarginsAndDropsSnapToTheNearestPosition) {
  window_ = Window::make({0, 0, 300, 600});
  window_->makeKeyAndVisible();
  auto controller = show();  // centre (229, 485)
  const auto& view = controller->view();
  settle();
  auto& app = Application::shared();
  app.sendPointer(window_, PointerPhase::down, {229, 485});
  app.sendPointer(window_, PointerPhase::moved, {229, 465});  // the pan begins
  const std::pair<Point, Point> far[] = {{{5000, 300}, {229, 300}},
                                         {{-5000, 300}, {71, 300}},
                                         {{150, -5000}, {150, 115}},
                                         {{150, 5000}, {150, 485}}};
  for (const auto& [to, centre] : far) {
    app.sendPointer(window_, PointerPhase::moved, to);
    EXPECT_EQ(view->center(), centre) << to.x << "," << to.y;
  }
  app.sendPointer(window_, PointerPhase::cancelled, {150, 5000});
  settle();
  EXPECT_EQ(view->center(), (Point{150, 485}));
  EXPECT_EQ(pipEventDispatcher(*controller)->pipPosition(), PIPPosition::bottomRight);

  // Boundaries belong to the middle row and the right column.
  using enum PIPPosition;
  const std::pair<Point, PIPPosition> drops[] = {
      {{150, 200}, middleRight}, {{149, 199}, topLeft},     {{150, 400}, middleRight},
      {{149, 401}, bottomLeft},  {{151, 300}, middleRight}, {{100, 300}, middleLeft}};
  for (const auto& [centre, snapped] : drops) {
    const Point start = view->center();
    drag(start, {{start.x, start.y - 20}, centre});
    settle();
    EXPECT_EQ(pipEventDispatcher(*controller)->pipPosition(), snapped)
        << centre.x << "," << centre.y;
  }

  window_->setFrame({0, 0, 100, 150});
  setNeedUpdatePIPSize(*controller);  // middle left of the small window: (15, -25)
  app.sendPointer(window_, PointerPhase::down, {20, 20});
  app.sendPointer(window_, PointerPhase::moved, {20, 50});
  app.sendPointer(window_, PointerPhase::moved, {-100, -100});
  EXPECT_EQ(view->center(), (Point{15 + 56, 15 + 100}));
  app.sendPointer(window_, PointerPhase::cancelled, {-100, -100});
}

// Each side's inset moves its own drag bound and band edge, so the four differ here: in a
// window of 300 x 600 with insets (top 30, left 12, bottom 60, right 18) the bands are 170
// high and rows change at y = 200 and 370. The column still changes at x = 150 whatever the
// side insets: drops at 149 and 150 catch a middle line moved either way.
TEST_F(PIPManagerTest, SafeAreaInsetsMoveEachDragBoundAndEachRowBand) {
  window_ = Window::make({0, 0, 300, 600});
  window_->setSafeAreaInsets({30, 12, 60, 18});
  window_->makeKeyAndVisible();
  auto controller = show();  // centre (211, 425)
  const auto& view = controller->view();
  settle();
  auto& app = Application::shared();
  app.sendPointer(window_, PointerPhase::down, {211, 425});
  app.sendPointer(window_, PointerPhase::moved, {211, 405});  // the pan begins
  struct Bound {
    const char* fault;
    Point to, centre;
  };
  for (const auto& [fault, to, centre] : {Bound{"right inset ignored", {5000, 300}, {211, 300}},
                                          Bound{"left inset ignored", {-5000, 300}, {83, 300}},
                                          Bound{"top inset ignored", {150, -5000}, {150, 145}},
                                          Bound{"bottom inset ignored", {150, 5000}, {150, 425}}}) {
    SCOPED_TRACE(fault);
    app.sendPointer(window_, PointerPhase::moved, to);
    EXPECT_EQ(view->center(), centre);
  }
  app.sendPointer(window_, PointerPhase::cancelled, {150, 5000});

  using enum PIPPosition;
  struct Drop {
    const char* fault;
    Point centre;
    PIPPosition snapped;
  };
  for (const auto& [fault, centre, snapped] :
       {Drop{"top band taken without the insets", {150, 200}, middleRight},
        Drop{"top band taken without the top inset", {149, 199}, topLeft},
        Drop{"bottom band taken without the insets", {150, 370}, middleRight},
        Drop{"bottom band taken without the bottom inset", {149, 371}, bottomLeft}}) {
    SCOPED_TRACE(fault);
    const Point start = view->center();
    drag(start, {{start.x, start.y - 20}, centre});
    settle();
    EXPECT_EQ(pipEventDispatcher(*controller)->pipPosition(), snapped);
  }
}

TEST_F(PIPManagerTest, ReleasedControllerLeavesPendingBlocksHarmless) {
  auto controller = show();
  std::weak_ptr<Controller> weakController = controller;
  std::weak_ptr<PIPManagerEventDispatcher> weakDispatcher = pipEventDispatcher(*controller);
  stopPIPMode(*controller);  // a mode animation pending
  Application::shared().setOrientation(DeviceOrientation::landscapeRight);
  PIPManager::dismiss(false);
  controller.reset();
  EXPECT_TRUE(weakController.expired()) << "the controller outlived its dismissal";
  EXPECT_TRUE(weakDispatcher.expired()) << "the event dispatcher outlived its controller";
  NotificationCenter::defaultCenter()->post(
      std::string(Application::kDeviceOrientationDidChangeNotification));
  settle();
  Application::shared().setOrientation(DeviceOrientation::portrait);
}

TEST_F(PIPManagerTest, ContainerFillsWithTheEmbeddedView) {
  auto container = ViewController::make<PIPContainerController>();
  auto content = ViewController::make();
  container->embed(*content);
  PIPManager::show(container);
  container->view()->layoutIfNeeded();
  EXPECT_EQ(content->view()->frame(), (Rect{0, 0, 112, 200}));
}

}  // namespace
}  // namespace brelum
