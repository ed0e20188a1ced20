#include <gtest/gtest.h>

#include "Platform/UI/Application.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/PanGestureRecognizer.h"
#include "Platform/UI/Window.h"
#include "Tests/Platform/UI/GeometryPrinting.h"

using namespace platform;
using State = GestureRecognizer::State;

namespace {

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override { window_->makeKeyAndVisible(); }

  bool send(PointerPhase phase, Point at) {
    return Application::shared().sendPointer(window_, phase, at);
  }
  // Presses at the first point, moves through the rest and, if `release`, lets go at the last.
  void stroke(const std::vector<Point>& path, bool release = true) {
    send(PointerPhase::down, path.front());
    for (std::size_t i = 1; i < path.size(); ++i) send(PointerPhase::moved, path[i]);
    if (release) send(PointerPhase::up, path.back());
  }
  // Moves the pressed pointer to `at` and lets go there.
  void lift(Point at) {
    send(PointerPhase::moved, at);
    send(PointerPhase::up, at);
  }

  std::shared_ptr<Window> window_ = Window::make({0, 0, 300, 300});
};

// A tree where each way of being passed over hides a view that would otherwise be hit.
TEST_F(InputTest, HitTestingSkipsViewsThatCannotReceive) {
  auto base = View::make(Rect{0, 0, 300, 300});
  window_->addSubview(base);
  auto add = [&](Rect f) {
    base->addSubview(View::make(f));
    return base->subviews().back();
  };
  add({0, 0, 50, 50})->setHidden(true);
  add({50, 0, 50, 50})->setAlpha(0.005);
  add({100, 0, 50, 50})->setUserInteractionEnabled(false);
  auto clipped = add({150, 0, 20, 20});
  clipped->addSubview(View::make(Rect{0, 30, 10, 10}));  // sticks out below its superview
  auto top = add({200, 0, 50, 50});
  base->insertSubview(View::make(Rect{200, 0, 50, 50}), 0);
  for (Point p : {Point{10, 10}, Point{60, 10}, Point{110, 10}, Point{155, 35}}) {
    EXPECT_EQ(window_->hitTest(p), base) << p.x;
  }
  EXPECT_EQ(window_->hitTest({155, 5}), clipped);
  EXPECT_EQ(window_->hitTest({210, 10}), top);
  EXPECT_EQ(window_->hitTest({400, 10}), nullptr);
  base->setBounds({0, 100, 300, 300});  // scrolled: subviews move up
  EXPECT_EQ(window_->hitTest({210, 10}), base);
}

struct Dragger {
  void onPan(PanGestureRecognizer& pan) {
    states.push_back(pan.state());
    translations.push_back(pan.translation(nullptr));
  }
  std::vector<State> states;
  std::vector<Point> translations;
};

TEST_F(InputTest, PanBeginsAtTheHysteresisReportsItsTranslationAndStopsWhenDisabled) {
  auto pan = PanGestureRecognizer::make();
  auto dragger = std::make_shared<Dragger>();
  pan->addTarget(dragger, &Dragger::onPan);
  window_->addGestureRecognizer(pan);

  stroke({{100, 100}, {109, 100}}, false);  // within the hysteresis
  EXPECT_EQ(pan->state(), State::possible);
  send(PointerPhase::moved, {110, 100});
  send(PointerPhase::moved, {130, 90});
  pan->setTranslation({0, 0}, nullptr);
  lift({140, 95});
  EXPECT_EQ(dragger->states,
            (std::vector{State::began, State::changed, State::changed, State::ended}));
  EXPECT_EQ(dragger->translations, (std::vector<Point>{{10, 0}, {30, -10}, {10, 5}, {10, 5}}));
  // A touch that lifts before moving far enough fails, telling no one.
  stroke({{100, 100}, {103, 100}});
  EXPECT_EQ(pan->state(), State::failed);
  dragger->states.clear();

  stroke({{0, 0}, {50, 0}}, false);
  pan->setEnabled(false);  // mid-gesture: cancelled
  lift({60, 0});
  stroke({{0, 0}, {50, 0}});
  EXPECT_EQ(dragger->states, (std::vector{State::began, State::cancelled}));

  pan->setEnabled(true);
  std::weak_ptr<Dragger> gone = dragger;
  dragger.reset();
  stroke({{0, 0}, {50, 0}}, false);
  EXPECT_EQ(pan->state(), State::began);  // recognised, with nobody to tell
  EXPECT_TRUE(gone.expired());
}

struct Receiver {
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

  send(PointerPhase::down, {20, 20});
  EXPECT_TRUE(button->isHighlighted());
  lift({45, 45});
  EXPECT_EQ(receiver->taps, 1);
  EXPECT_FALSE(button->isHighlighted());
  stroke({{20, 20}, {80, 20}}, false);
  EXPECT_FALSE(button->isHighlighted());
  send(PointerPhase::up, {80, 20});
  EXPECT_EQ(events, (std::vector<std::string>{"down", "down", "outside"}));

  stroke({{100, 100}, {20, 20}});  // pressed beside the button
  button->setEnabled(false);
  stroke({{20, 20}});
  EXPECT_EQ(receiver->taps, 1);

  button->setEnabled(true);
  receiver.reset();  // a released target is skipped; the free-function actions still run
  stroke({{20, 20}});
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
  stroke({{50, 50}, {80, 50}});
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
  stroke({{10, 10}});
  EXPECT_EQ(taps, 1);
  EXPECT_TRUE(weak.expired()) << "the button outlived its removal";

  auto pan = PanGestureRecognizer::make();
  window_->addGestureRecognizer(pan);
  stroke({{10, 10}, {40, 10}}, false);
  std::weak_ptr<Window> gone = window_;
  window_.reset();
  for (auto phase : {PointerPhase::moved, PointerPhase::up, PointerPhase::down}) {
    EXPECT_FALSE(Application::shared().sendPointer(gone, phase, {50, 10}));
  }
  EXPECT_EQ(pan->state(), State::cancelled);  // its window went mid-drag
}

}  // namespace
