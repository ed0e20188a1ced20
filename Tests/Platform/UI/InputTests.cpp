#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Platform/UI/Application.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/PanGestureRecognizer.h"
#include "Platform/UI/Window.h"
#include "Tests/Platform/UI/GeometryPrinting.h"

using platform::Application;
using platform::Button;
using platform::ControlEvents;
using platform::GestureRecognizer;
using platform::PanGestureRecognizer;
using platform::Point;
using platform::PointerPhase;
using platform::Rect;
using platform::View;
using platform::Window;
using State = GestureRecognizer::State;

namespace {

bool send(const std::shared_ptr<Window>& window, PointerPhase phase, Point at, int pointer = 0) {
  return Application::shared().sendPointer(window, phase, at, pointer);
}

class InputTest : public ::testing::Test {
 protected:
  std::shared_ptr<Window> window_ = Window::make({0, 0, 300, 300});
  void SetUp() override { window_->makeKeyAndVisible(); }
};

// A tree where each way of being passed over hides a view that would otherwise be hit.
TEST_F(InputTest, HitTestingSkipsViewsThatCannotReceive) {
  auto base = View::make(Rect{0, 0, 300, 300});
  window_->addSubview(base);
  auto add = [&](Rect frame, auto configure) {
    auto view = View::make(frame);
    configure(*view);
    base->addSubview(view);
    return view;
  };
  add(Rect{0, 0, 50, 50}, [](View& v) { v.setHidden(true); });
  add(Rect{50, 0, 50, 50}, [](View& v) { v.setAlpha(0.005); });
  add(Rect{100, 0, 50, 50}, [](View& v) { v.setUserInteractionEnabled(false); });
  auto clipped = add(Rect{150, 0, 20, 20}, [](View&) {});
  auto outside = View::make(Rect{0, 30, 10, 10});  // sticks out below its superview
  clipped->addSubview(outside);
  auto top = add(Rect{200, 0, 50, 50}, [](View&) {});
  auto under = View::make(Rect{200, 0, 50, 50});
  base->insertSubview(under, 0);
  for (Point p : {Point{10, 10}, Point{60, 10}, Point{110, 10}, Point{155, 35}}) {
    EXPECT_EQ(window_->hitTest(p), base) << p.x;
  }
  EXPECT_EQ(window_->hitTest({155, 5}), clipped);
  EXPECT_EQ(window_->hitTest({210, 10}), top);
  EXPECT_EQ(window_->hitTest({400, 10}), nullptr);
  base->setBounds({0, 100, 300, 300});  // scrolled: subviews move up
  EXPECT_EQ(window_->hitTest({210, 10}), base);
}

class Dragger {
 public:
  void onPan(PanGestureRecognizer& pan) {
    states.push_back(pan.state());
    translations.push_back(pan.translation(nullptr));
  }
  std::vector<State> states;
  std::vector<Point> translations;
};

class PanTest : public InputTest {
 protected:
  // A pan on a view covering the window, reporting to a dragger.
  std::pair<std::shared_ptr<PanGestureRecognizer>, std::shared_ptr<Dragger>> dragOverTheWindow() {
    auto view = View::make(Rect{0, 0, 300, 300});
    window_->addSubview(view);
    auto pan = PanGestureRecognizer::make();
    auto dragger = std::make_shared<Dragger>();
    pan->addTarget(dragger, &Dragger::onPan);
    view->addGestureRecognizer(pan);
    return {pan, dragger};
  }
};

TEST_F(PanTest, BeginsAfterTheHysteresisAndReportsItsTranslation) {
  auto [pan, dragger] = dragOverTheWindow();
  send(window_, PointerPhase::down, {100, 100});
  send(window_, PointerPhase::moved, {105, 100});  // within the hysteresis
  EXPECT_EQ(pan->state(), State::possible);
  send(window_, PointerPhase::moved, {112, 100});
  send(window_, PointerPhase::moved, {130, 90});
  pan->setTranslation({0, 0}, nullptr);
  send(window_, PointerPhase::moved, {140, 95});
  send(window_, PointerPhase::up, {140, 95});
  EXPECT_EQ(dragger->states,
            (std::vector{State::began, State::changed, State::changed, State::ended}));
  EXPECT_EQ(dragger->translations, (std::vector<Point>{{12, 0}, {30, -10}, {10, 5}, {10, 5}}));

  // A touch that lifts before moving far enough fails, telling no one.
  send(window_, PointerPhase::down, {100, 100});
  send(window_, PointerPhase::up, {103, 100});
  EXPECT_EQ(pan->state(), State::failed);
  EXPECT_EQ(dragger->states.size(), 4u);
}

TEST_F(PanTest, DisabledRecognizersAndReleasedTargetsHearNothing) {
  auto [pan, dragger] = dragOverTheWindow();

  send(window_, PointerPhase::down, {0, 0});
  send(window_, PointerPhase::moved, {50, 0});
  pan->setEnabled(false);  // mid-gesture: cancelled
  send(window_, PointerPhase::moved, {60, 0});
  send(window_, PointerPhase::up, {60, 0});
  EXPECT_EQ(dragger->states, (std::vector{State::began, State::cancelled}));

  send(window_, PointerPhase::down, {0, 0});
  send(window_, PointerPhase::moved, {50, 0});
  send(window_, PointerPhase::up, {50, 0});
  EXPECT_EQ(dragger->states.size(), 2u);

  pan->setEnabled(true);
  std::weak_ptr<Dragger> gone = dragger;
  dragger.reset();
  send(window_, PointerPhase::down, {0, 0});
  send(window_, PointerPhase::moved, {50, 0});
  EXPECT_EQ(pan->state(), State::began);  // recognised, with nobody to tell
  EXPECT_TRUE(gone.expired());
}

class Receiver {
 public:
  void tapped() { ++taps; }
  int taps = 0;
};

TEST_F(InputTest, TouchUpInsideOnlyWhenTheTouchLiftsWithinTheBounds) {
  auto button = View::make<Button>(Rect{10, 10, 40, 40});
  window_->addSubview(button);
  auto receiver = std::make_shared<Receiver>();
  button->addTarget(receiver, &Receiver::tapped, ControlEvents::touchUpInside);
  std::vector<std::string> events;
  button->addAction([&] { events.push_back("outside"); }, ControlEvents::touchUpOutside);
  button->addAction([&] { events.push_back("down"); }, ControlEvents::touchDown);

  send(window_, PointerPhase::down, {20, 20});
  EXPECT_TRUE(button->isHighlighted());
  send(window_, PointerPhase::moved, {45, 45});
  send(window_, PointerPhase::up, {45, 45});
  EXPECT_EQ(receiver->taps, 1);
  EXPECT_FALSE(button->isHighlighted());

  send(window_, PointerPhase::down, {20, 20});
  send(window_, PointerPhase::moved, {80, 20});
  EXPECT_FALSE(button->isHighlighted());
  send(window_, PointerPhase::up, {80, 20});
  EXPECT_EQ(receiver->taps, 1);
  EXPECT_EQ(events, (std::vector<std::string>{"down", "down", "outside"}));

  send(window_, PointerPhase::down, {100, 100});  // beside the button
  send(window_, PointerPhase::up, {20, 20});
  button->setEnabled(false);
  send(window_, PointerPhase::down, {20, 20});
  send(window_, PointerPhase::up, {20, 20});
  EXPECT_EQ(receiver->taps, 1);

  button->setEnabled(true);
  receiver.reset();  // a released target is skipped; the free-function actions still run
  send(window_, PointerPhase::down, {20, 20});
  send(window_, PointerPhase::up, {20, 20});
  EXPECT_EQ(events.size(), 4u);
}

TEST_F(InputTest, PanThatBeginsCancelsTheControlsTouch) {
  auto button = View::make<Button>(Rect{0, 0, 200, 200});
  window_->addSubview(button);
  auto pan = PanGestureRecognizer::make();
  window_->addGestureRecognizer(pan);
  std::vector<std::string> events;
  button->addAction([&] { events.push_back("cancel"); }, ControlEvents::touchCancel);
  button->addAction([&] { events.push_back("up"); }, ControlEvents::touchUpInside);
  send(window_, PointerPhase::down, {50, 50});
  send(window_, PointerPhase::moved, {80, 50});
  send(window_, PointerPhase::up, {80, 50});
  EXPECT_EQ(events, std::vector<std::string>{"cancel"});
  EXPECT_EQ(pan->state(), State::ended);
}

TEST_F(InputTest, ActionMayRemoveItsOwnButtonAndGoneWindowsGetNothing) {
  auto button = View::make<Button>(Rect{0, 0, 50, 50});
  window_->addSubview(button);
  std::weak_ptr<Button> weak = button;
  int taps = 0;
  button->addAction(
      [&] {
        ++taps;
        if (auto self = weak.lock()) self->removeFromSuperview();
      },
      ControlEvents::touchUpInside);
  button.reset();
  send(window_, PointerPhase::down, {10, 10});
  send(window_, PointerPhase::up, {10, 10});
  EXPECT_EQ(taps, 1);
  EXPECT_TRUE(weak.expired());

  auto pan = PanGestureRecognizer::make();
  window_->addGestureRecognizer(pan);
  send(window_, PointerPhase::down, {10, 10});
  send(window_, PointerPhase::moved, {40, 10});
  std::weak_ptr<Window> gone = window_;
  window_.reset();
  EXPECT_FALSE(Application::shared().sendPointer(gone, PointerPhase::moved, {50, 10}));
  EXPECT_FALSE(Application::shared().sendPointer(gone, PointerPhase::up, {50, 10}));
  EXPECT_FALSE(Application::shared().sendPointer(gone, PointerPhase::down, {50, 10}));
  EXPECT_EQ(pan->state(), State::cancelled);  // its window went mid-drag
}

}  // namespace
