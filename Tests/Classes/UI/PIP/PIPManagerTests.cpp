#include "Classes/UI/PIP/PIPManager.h"

#include <array>
#include <chrono>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "Classes/UI/PIP/PIPContainerController.h"
#include "Classes/UI/PIP/PIPManagerEventDispatcher.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/GestureRecognizer.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/Render/Snapshot.h"
#include "Platform/UI/Window.h"
#include "Tests/Support/MainLoopPump.h"

namespace brelum {
namespace {

using namespace std::chrono_literals;
using platform::Application;
using platform::EdgeInsets;
using platform::Point;
using platform::PointerPhase;
using platform::Rect;
using platform::Size;
using platform::View;
using platform::Window;
using testsupport::runMainLoopUntil;

class Controller : public platform::ViewController, public PIPUsable {
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

// Long enough for every animation the manager and its dispatcher run.
void settle() {
  const auto until = std::chrono::steady_clock::now() + 400ms;
  runMainLoopUntil([&] { return std::chrono::steady_clock::now() >= until; }, 1s);
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
                                   PIPState initial = PIPState::pip) {
    auto controller = platform::ViewController::make<Controller>();
    controller->position = position;
    controller->initial = initial;
    PIPManager::show(controller);
    return controller;
  }

  void drag(Point from, std::initializer_list<Point> through,
            PointerPhase last = PointerPhase::up) {
    auto& app = Application::shared();
    app.sendPointer(window_, PointerPhase::down, from);
    Point at = from;
    for (Point p : through) app.sendPointer(window_, PointerPhase::moved, at = p);
    app.sendPointer(window_, last, at);
  }
};

struct FrameCase {
  PIPPosition position;
  EdgeInsets insets;
  Rect frame;
};

class PIPFrameTable : public PIPManagerTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(PIPFrameTable, FloatingWindowStandsAtItsPosition) {
  const auto& [position, insets, frame] = GetParam();
  window_->setSafeAreaInsets(insets);
  auto controller = show(position);
  EXPECT_EQ(controller->view()->frame(), frame);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, PIPFrameTable,
    ::testing::Values(FrameCase{PIPPosition::bottomRight, {}, {248, 452, 112, 200}},
                      FrameCase{PIPPosition::topLeft, {}, {15, 15, 112, 200}},
                      FrameCase{PIPPosition::middleLeft, {}, {15, 233.5, 112, 200}},
                      FrameCase{PIPPosition::topLeft, {44, 10, 34, 20}, {25, 59, 112, 200}},
                      FrameCase{PIPPosition::bottomRight, {44, 10, 34, 20}, {228, 418, 112, 200}},
                      FrameCase{PIPPosition::middleLeft, {44, 10, 34, 20}, {25, 238.5, 112, 200}},
                      FrameCase{PIPPosition::topRight, {44, 10, 34, 20}, {228, 59, 112, 200}},
                      FrameCase{PIPPosition::bottomLeft, {}, {15, 452, 112, 200}}));

TEST_F(PIPManagerTest, ShowingStylesTheFloatingWindowAndFadesItIn) {
  int completions = 0;
  auto controller = platform::ViewController::make<Controller>();
  PIPManager::show(controller, [&] { ++completions; });

  const auto& view = controller->view();
  EXPECT_TRUE(PIPManager::isActive());
  EXPECT_TRUE(PIPManager::isPIP());
  EXPECT_EQ(PIPManager::visibleViewController(), controller);
  EXPECT_EQ(view->superview(), window_);
  EXPECT_EQ(view->layer()->cornerRadius(), 2.0);
  EXPECT_TRUE(view->layer()->masksToBounds());
  EXPECT_EQ(controller->changes, std::vector<PIPState>{PIPState::pip});
  EXPECT_EQ(view->alpha(), 1.0);
  EXPECT_LT(view->presentation(std::chrono::steady_clock::now()).alpha, 1.0);

  EXPECT_EQ(closeButtons(*view), 1);
  ASSERT_TRUE(runMainLoopUntil([&] { return completions > 0; }, 2s));
  settle();
  EXPECT_EQ(completions, 1);
}

TEST_F(PIPManagerTest, FullModeIsUnstyledAndStartingPIPStylesAtOnceAndMovesOverTime) {
  auto controller = show(PIPPosition::topLeft, PIPState::full);
  const auto& view = controller->view();
  EXPECT_FALSE(PIPManager::isPIP());
  EXPECT_EQ(view->frame(), window_->bounds());
  EXPECT_EQ(closeButtons(*view), 0);
  EXPECT_EQ(view->layer()->cornerRadius(), 0);
  EXPECT_FALSE(view->layer()->masksToBounds());
  EXPECT_FALSE(view->gestureRecognizers().front()->isEnabled());

  startPIPMode(*controller);
  EXPECT_TRUE(PIPManager::isPIP());
  EXPECT_EQ(closeButtons(*view), 1);
  EXPECT_EQ(view->layer()->cornerRadius(), 2.0);
  EXPECT_EQ(view->frame(), (Rect{15, 15, 112, 200}));
  EXPECT_EQ(controller->changes,
            std::vector<PIPState>{PIPState::full});  // not before the move ends
  ASSERT_TRUE(runMainLoopUntil([&] { return controller->changes.size() == 2; }, 2s));
  EXPECT_EQ(controller->changes.back(), PIPState::pip);
  EXPECT_TRUE(view->gestureRecognizers().front()->isEnabled());

  startPIPMode(*controller);  // again in pip: no second button, told pip again
  EXPECT_EQ(closeButtons(*view), 1);
  ASSERT_TRUE(runMainLoopUntil([&] { return controller->changes.size() == 3; }, 2s));

  stopPIPMode(*controller);
  EXPECT_EQ(closeButtons(*view), 0);
  EXPECT_EQ(view->frame(), window_->bounds());
  ASSERT_TRUE(runMainLoopUntil([&] { return controller->changes.size() == 4; }, 2s));
  EXPECT_EQ(controller->changes.back(), PIPState::full);
}

TEST_F(PIPManagerTest, ReplacingLeavesTheFirstViewUnstyledAndGone) {
  auto first = show();
  int completions = 0;
  auto second = platform::ViewController::make<Controller>();
  second->initial = PIPState::full;
  PIPManager::show(second, [&] { ++completions; });

  EXPECT_EQ(first->view()->superview(), nullptr);
  EXPECT_EQ(first->view()->layer()->cornerRadius(), 0);
  EXPECT_FALSE(first->view()->layer()->masksToBounds());
  EXPECT_EQ(closeButtons(*first->view()), 0);
  EXPECT_EQ(PIPManager::visibleViewController(), second);
  EXPECT_FALSE(PIPManager::isPIP());
  EXPECT_EQ(completions, 0);  // runs after the second fade-in
  ASSERT_TRUE(runMainLoopUntil([&] { return completions > 0; }, 2s));
  settle();
  EXPECT_EQ(completions, 1);
}

TEST_F(PIPManagerTest, ShowingAgainRestartsFromTheInitialPositionWithANewDispatcher) {
  auto controller = show(PIPPosition::topLeft);
  settle();
  std::weak_ptr<PIPManagerEventDispatcher> first = pipEventDispatcher(*controller);
  drag({70, 115}, {{90, 115}, {300, 600}});
  settle();
  EXPECT_EQ(controller->view()->frame(), (Rect{248, 452, 112, 200}));

  PIPManager::toggle(true);
  EXPECT_EQ(controller->view()->frame(), (Rect{15, 15, 112, 200}));
  EXPECT_TRUE(first.expired());
  EXPECT_EQ(controller->view()->gestureRecognizers().size(), 1u);
  EXPECT_EQ(closeButtons(*controller->view()), 1);
  EXPECT_EQ(controller->view()->alpha(), 1.0);
}

TEST_F(PIPManagerTest, ToggleHidesKeepingThePresentationAndShowsByRestarting) {
  PIPManager::toggle(std::nullopt);  // nothing shown: nothing happens
  PIPManager::toggle(false);
  EXPECT_FALSE(PIPManager::isActive());

  auto controller = show(PIPPosition::middleLeft);
  const auto dispatcher = pipEventDispatcher(*controller);
  PIPManager::toggle(std::nullopt);
  EXPECT_TRUE(controller->view()->isHidden());
  EXPECT_TRUE(PIPManager::isActive());
  EXPECT_TRUE(PIPManager::isPIP());
  PIPManager::showIfNeeds();  // hidden: nothing
  EXPECT_EQ(pipEventDispatcher(*controller), dispatcher);

  PIPManager::toggle(std::nullopt);
  EXPECT_FALSE(controller->view()->isHidden());
  EXPECT_NE(pipEventDispatcher(*controller), dispatcher);
  EXPECT_EQ(controller->changes, (std::vector<PIPState>{PIPState::pip, PIPState::pip}));
}

TEST_F(PIPManagerTest, DismissalRemovesTheViewBeforeTheCompletionRuns) {
  int completions = 0;
  PIPManager::dismiss(true, [&] { ++completions; });  // nothing shown: no completion
  PIPManager::dismiss(false, [&] { ++completions; });
  EXPECT_FALSE(PIPManager::isPIP());

  auto controller = show();
  PIPManager::dismiss(true, [&] {
    ++completions;
    EXPECT_EQ(controller->view()->superview(), nullptr);
    EXPECT_FALSE(PIPManager::isActive());
  });
  EXPECT_TRUE(PIPManager::isActive());
  EXPECT_FALSE(PIPManager::isPIP());
  EXPECT_EQ(closeButtons(*controller->view()), 0);
  EXPECT_EQ(controller->view()->superview(), window_);
  ASSERT_TRUE(runMainLoopUntil([&] { return completions > 0; }, 2s));
  EXPECT_EQ(completions, 1);

  show();
  PIPManager::dismiss(false, [&] { ++completions; });
  EXPECT_EQ(completions, 2);
  EXPECT_FALSE(PIPManager::isActive());
}

TEST_F(PIPManagerTest, ShowDuringAFadeOutCompletesTheDismissalAndKeepsTheNewPresentation) {
  auto controller = show();
  int dismissed = 0;
  PIPManager::dismiss(true, [&] { ++dismissed; });
  startPIPMode(*controller);  // on its way out: ignored
  EXPECT_EQ(closeButtons(*controller->view()), 0);

  PIPManager::show(controller);  // the same controller, shown again mid-fade
  EXPECT_EQ(dismissed, 1);
  settle();
  EXPECT_EQ(dismissed, 1);
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
  auto controller = platform::ViewController::make<Controller>();
  PIPManager::show(controller, [&] { ++completions; });
  settle();
  EXPECT_FALSE(PIPManager::isActive());
  EXPECT_EQ(completions, 0);
  EXPECT_FALSE(controller->isViewLoaded());
}

TEST_F(PIPManagerTest, CloseButtonTapReachesTheHandlerOnly) {
  auto controller = show(PIPPosition::topLeft);
  settle();
  const Point button{15 + 112 - 4 - 12, 15 + 4 + 12};
  Application::shared().sendPointer(window_, PointerPhase::down, button);
  Application::shared().sendPointer(window_, PointerPhase::up, button);  // no handler: nothing
  int taps = 0;
  PIPManager::setOnClosePipTapped([&] { ++taps; });
  Application::shared().sendPointer(window_, PointerPhase::down, button);
  Application::shared().sendPointer(window_, PointerPhase::up, button);
  EXPECT_EQ(taps, 1);
  EXPECT_TRUE(PIPManager::isActive());
}

// A window whose row bands and middle line fall on whole numbers: 300 x 600, T = 200.
class PIPSnapTest : public PIPManagerTest {
 protected:
  void SetUp() override {
    window_ = Window::make({0, 0, 300, 600});
    window_->makeKeyAndVisible();
    controller_ = show(PIPPosition::bottomRight);  // centre (229, 485)
    settle();
  }
  // Drags the floating window so that its centre ends at `centre`, and drops it.
  void dropAt(Point centre) {
    const Point start = controller_->view()->center();
    drag(start, {{start.x, start.y - 20}, centre});
    settle();
  }
  std::shared_ptr<Controller> controller_;
};

TEST_F(PIPSnapTest, DropSnapsToTheNearestPositionAndBoundariesBelongToMiddleAndRight) {
  struct Drop {
    Point centre;
    PIPPosition snapped;
  };
  for (const auto& [centre, snapped] :
       {Drop{{150, 200}, PIPPosition::middleRight}, Drop{{149, 199}, PIPPosition::topLeft},
        Drop{{150, 400}, PIPPosition::middleRight}, Drop{{149, 401}, PIPPosition::bottomLeft},
        Drop{{151, 300}, PIPPosition::middleRight}, Drop{{100, 300}, PIPPosition::middleLeft}}) {
    dropAt(centre);
    EXPECT_EQ(pipEventDispatcher(*controller_)->pipPosition(), snapped)
        << centre.x << "," << centre.y;
  }
}

TEST_F(PIPSnapTest, DraggingStopsAtTheMarginsOnEverySide) {
  const auto& view = controller_->view();
  auto& app = Application::shared();
  const Point start = view->center();
  app.sendPointer(window_, PointerPhase::down, start);
  app.sendPointer(window_, PointerPhase::moved, {start.x, start.y - 20});  // the pan begins
  struct Far {
    Point to, centre;
  };
  for (const auto& [to, centre] : {Far{{5000, 300}, {229, 300}}, Far{{-5000, 300}, {71, 300}},
                                   Far{{150, -5000}, {150, 115}}, Far{{150, 5000}, {150, 485}}}) {
    app.sendPointer(window_, PointerPhase::moved, to);
    EXPECT_EQ(view->center(), centre) << to.x << "," << to.y;
  }
  app.sendPointer(window_, PointerPhase::cancelled, {150, 5000});
  settle();
  EXPECT_EQ(view->center(), (Point{150, 485}));  // cancelled: no snap
  EXPECT_EQ(pipEventDispatcher(*controller_)->pipPosition(), PIPPosition::bottomRight);
}

TEST_F(PIPSnapTest, WindowTooSmallForTheMarginsKeepsTheLowerBound) {
  window_->setFrame({0, 0, 100, 150});
  setNeedUpdatePIPSize(*controller_);  // bottom right of the small window: (-27, -65)
  auto& app = Application::shared();
  app.sendPointer(window_, PointerPhase::down, {20, 20});
  app.sendPointer(window_, PointerPhase::moved, {20, 50});
  app.sendPointer(window_, PointerPhase::moved, {-100, -100});
  EXPECT_EQ(controller_->view()->center(), (Point{15 + 56, 15 + 100}));
  app.sendPointer(window_, PointerPhase::cancelled, {-100, -100});
}

TEST_F(PIPSnapTest, PanInFullModeMovesNothing) {
  stopPIPMode(*controller_);
  settle();
  const auto frame = controller_->view()->frame();
  drag({150, 300}, {{150, 330}, {20, 20}});
  EXPECT_EQ(controller_->view()->frame(), frame);
}

TEST_F(PIPSnapTest, RotationAndSizeChangesLayOutAtTheRememberedPosition) {
  dropAt({100, 100});  // topLeft
  window_->setFrame({0, 0, 600, 300});
  Application::shared().setOrientation(platform::DeviceOrientation::landscapeLeft);
  EXPECT_EQ(controller_->view()->frame(), (Rect{15, 15, 112, 200}));
  controller_->size = {200, 100};
  setNeedUpdatePIPSize(*controller_);
  EXPECT_EQ(controller_->view()->frame(), (Rect{15, 15, 200, 100}));

  stopPIPMode(*controller_);
  setNeedUpdatePIPSize(*controller_);  // full: nothing
  settle();
  window_->setFrame({0, 0, 300, 600});
  Application::shared().setOrientation(platform::DeviceOrientation::portrait);
  EXPECT_EQ(controller_->view()->frame(), window_->bounds());
}

TEST_F(PIPManagerTest, ReleasedControllerLeavesPendingBlocksHarmless) {
  std::weak_ptr<Controller> weakController;
  std::weak_ptr<PIPManagerEventDispatcher> weakDispatcher;
  {
    auto controller = show();
    weakController = controller;
    weakDispatcher = pipEventDispatcher(*controller);
    stopPIPMode(*controller);  // a mode animation pending
    Application::shared().setOrientation(platform::DeviceOrientation::landscapeRight);
    PIPManager::dismiss(false);
  }
  EXPECT_TRUE(weakController.expired());
  EXPECT_TRUE(weakDispatcher.expired());
  platform::NotificationCenter::defaultCenter()->post(
      std::string(Application::kDeviceOrientationDidChangeNotification));
  settle();
  Application::shared().setOrientation(platform::DeviceOrientation::portrait);
}

TEST_F(PIPManagerTest, ContainerFillsWithTheEmbeddedView) {
  auto container = platform::ViewController::make<PIPContainerController>();
  auto content = platform::ViewController::make();
  container->embed(*content);
  PIPManager::show(container);
  container->view()->layoutIfNeeded();
  EXPECT_EQ(content->view()->frame(), (Rect{0, 0, 112, 200}));
}

// Pixels of the window as drawn: the clipped rounded corner of the floating window, and
// the close button's grey circle with the white glyph in its middle.
TEST_F(PIPManagerTest, SnapshotShowsRoundedClippedCornersAndTheWhiteGlyphOnGrey) {
  constexpr double kScale = 4;
  platform::Screen::main().setScale(kScale);
  window_->setBackgroundColor(platform::Color{0, 0, 1, 1});
  auto controller = platform::ViewController::make<Controller>();
  auto filler = View::make(Rect{0, 0, 112, 200});
  filler->setBackgroundColor(platform::Color{0, 1, 0, 1});
  controller->view()->addSubview(filler);
  PIPManager::show(controller);
  settle();
  auto image = platform::Snapshot::image(*window_);
  platform::Screen::main().setScale(1);
  ASSERT_TRUE(image);
  auto pixel = [&](Point at) {
    const auto x = std::size_t(at.x * kScale), y = std::size_t(at.y * kScale);
    const auto* p = image->pixels().data() + (y * std::size_t(image->width()) + x) * 4;
    return std::array<int, 3>{p[0], p[1], p[2]};
  };
  using RGB = std::array<int, 3>;
  EXPECT_EQ(pixel({248, 452}), (RGB{0, 0, 255}));          // the corner, clipped away
  EXPECT_EQ(pixel({249.5, 453.5}), (RGB{0, 255, 0}));      // just inside it
  EXPECT_EQ(pixel({344 - 9, 468}), (RGB{115, 115, 117}));  // the button, beside its image
  EXPECT_EQ(pixel({344, 468}), (RGB{255, 255, 255}));      // the glyph's crossing
  EXPECT_EQ(pixel({344 + 13, 468}), (RGB{0, 255, 0}));     // outside the circle
}

// Random operations with the invariants checked after each: never two close buttons, the
// styling always that of the state, completions at most once (and, once everything has
// settled, exactly once where they were due), nothing kept alive after the last dismissal.
TEST_F(PIPManagerTest, RandomOperationsKeepTheInvariants) {
  std::mt19937 random(20261206);
  std::vector<std::weak_ptr<Controller>> made;
  std::vector<std::shared_ptr<Controller>> held;
  std::vector<std::weak_ptr<PIPManagerEventDispatcher>> dispatchers;
  std::vector<int> completions;  // one slot per completion handed out
  std::vector<bool> due;
  auto completion = [&](bool isDue) {
    completions.push_back(0);
    due.push_back(isDue);
    return [&, slot = completions.size() - 1] { ++completions[slot]; };
  };
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };

  for (int step = 0; step < 1500; ++step) {
    const bool keyed = keyWindow() != nullptr;
    switch (pick(12)) {
      case 0:
      case 1: {
        auto controller = platform::ViewController::make<Controller>();
        controller->initial = pick(2) ? PIPState::pip : PIPState::full;
        controller->position = PIPPosition(pick(6));
        made.push_back(controller);
        held.push_back(controller);
        PIPManager::show(controller, completion(keyed));
        break;
      }
      case 2:
        if (!held.empty()) PIPManager::show(held[pick(int(held.size()))], completion(keyed));
        break;
      case 3:
        PIPManager::dismiss(pick(2), completion(PIPManager::isActive()));
        break;
      case 4:
        PIPManager::toggle(pick(3) == 0 ? std::nullopt : std::optional<bool>(pick(2)));
        break;
      case 5:
        if (!held.empty()) startPIPMode(*held[pick(int(held.size()))]);
        break;
      case 6:
        if (!held.empty()) stopPIPMode(*held[pick(int(held.size()))]);
        break;
      case 7:
        drag({double(pick(375)), double(pick(667))}, {{double(pick(375)), double(pick(667))}},
             pick(4) ? PointerPhase::up : PointerPhase::cancelled);
        break;
      case 8:
        Application::shared().setOrientation(pick(2) ? platform::DeviceOrientation::portrait
                                                     : platform::DeviceOrientation::landscapeLeft);
        break;
      case 9:
        if (!held.empty()) held.erase(held.begin() + pick(int(held.size())));
        break;
      case 10:
        if (pick(20) == 0) {
          settle();
        } else {
          testsupport::drainMainQueue();
        }
        break;
      case 11:
        if (pick(10) == 0) {
          keyed ? Window::make({0, 0, 10, 10})->makeKey() : window_->makeKey();
        }
        break;
    }
    if (auto shown = PIPManager::visibleViewController()) {
      dispatchers.push_back(pipEventDispatcher(*shown));
      const auto& view = shown->view();
      const int buttons = closeButtons(*view);
      ASSERT_LE(buttons, 1) << "step " << step;
      if (PIPManager::isPIP()) {
        ASSERT_EQ(buttons, 1) << "step " << step;
        ASSERT_EQ(view->layer()->cornerRadius(), 2.0) << "step " << step;
      } else {
        ASSERT_EQ(buttons, 0) << "step " << step;
        ASSERT_EQ(view->layer()->cornerRadius(), 0.0) << "step " << step;
      }
    }
    for (int count : completions) ASSERT_LE(count, 1) << "step " << step;
  }

  window_->makeKey();
  PIPManager::dismiss(false);
  held.clear();
  settle();
  for (std::size_t i = 0; i < completions.size(); ++i) {
    if (due[i]) {
      EXPECT_EQ(completions[i], 1) << "completion " << i;
    }
  }
  for (const auto& controller : made) EXPECT_TRUE(controller.expired());
  for (const auto& dispatcher : dispatchers) EXPECT_TRUE(dispatcher.expired());
}

}  // namespace
}  // namespace brelum
