#include "Platform/UI/View.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include "Platform/UI/Layer.h"
#include "Platform/UI/Window.h"
#include "Tests/Platform/UI/GeometryPrinting.h"
#include "Tests/Support/MainLoopPump.h"

using namespace std::chrono_literals;
using namespace platform;
using testsupport::runMainLoopUntil;

namespace {

class AnimationTest : public ::testing::Test {
 protected:
  std::shared_ptr<Window> window_ = Window::make({0, 0, 400, 400});
  std::shared_ptr<View> view_ = View::make(Rect{0, 0, 100, 100});
  std::vector<bool> completions_;

  void SetUp() override { window_->addSubview(view_); }
  // Releasing the tree ends every block still running; their completions run before the
  // fixture goes.
  void TearDown() override {
    window_ = nullptr, view_ = nullptr;
    testsupport::drainMainQueue();
  }

  // An animation block whose completion is recorded.
  void animate(double seconds, const std::function<void()>& changes) {
    View::animate(seconds, changes, [this](bool finished) { completions_.push_back(finished); });
  }
};

TEST_F(AnimationTest, ModelChangesAtOncePresentationMovesAndCompletionFinishes) {
  animate(0.2, [&] {
    view_->setFrame({100, 0, 100, 100});
    view_->setAlpha(0);
    view_->setBackgroundColor(Color::white());
    view_->layer()->setCornerRadius(10);
  });
  EXPECT_EQ(view_->frame(), (Rect{100, 0, 100, 100})) << "the model changes at once";
  EXPECT_EQ(view_->alpha(), 0.0) << "the model changes at once";
  ASSERT_FALSE(view_->animations().empty());
  const auto start = view_->animations().front().start;
  const auto middle = view_->presentation(start + 100ms);
  // Halfway is exact on the ease-in-out curve; the background comes from clear.
  EXPECT_EQ(middle.frame().origin.x, 50);
  EXPECT_EQ(middle.alpha, 0.5);
  EXPECT_EQ(middle.cornerRadius, 5);
  ASSERT_TRUE(middle.backgroundColor);
  EXPECT_EQ(middle.backgroundColor->alpha, 0.5);
  EXPECT_EQ(view_->presentation(start).frame().origin.x, 0) << "at the start";
  EXPECT_EQ(view_->presentation(start + 1s).frame().origin.x, 100) << "after the end";
  EXPECT_TRUE(window_->hasRunningAnimations(start + 100ms));
  EXPECT_FALSE(window_->hasRunningAnimations(start + 200ms));
  EXPECT_TRUE(completions_.empty());  // never from inside animate
  ASSERT_TRUE(runMainLoopUntil([&] { return !completions_.empty(); }));
  EXPECT_EQ(completions_, std::vector<bool>{true});
}

TEST_F(AnimationTest, ReanimatingMidFlightStartsFromThePresentationValue) {
  animate(10, [&] { view_->setAlpha(0); });
  const auto first = view_->animations().front();
  animate(10, [&] { view_->setAlpha(1); });
  ASSERT_EQ(view_->animations().size(), 1u);
  const auto& second = view_->animations().front();
  EXPECT_EQ(std::get<double>(second.from), std::get<double>(first.valueAt(second.start)))
      << "not from the presentation value";
  EXPECT_EQ(std::get<double>(second.to), 1.0);
  // The first block lost its only change: it completes now, unfinished.
  ASSERT_TRUE(runMainLoopUntil([&] { return !completions_.empty(); }));
  EXPECT_EQ(completions_, std::vector<bool>{false});
}

TEST_F(AnimationTest, ViewLeavingItsWindowDropsItsAnimationsAndSubviewsToo) {
  auto child = View::make(Rect{0, 0, 10, 10});
  view_->addSubview(child);
  animate(10, [&] { child->setAlpha(0.2); });
  animate(10, [&] {
    view_->setCenter({300, 300});
    child->setCenter({1, 1});
  });
  view_->removeFromSuperview();
  EXPECT_TRUE(view_->animations().empty());
  EXPECT_TRUE(child->animations().empty()) << "a subview kept its animations";
  EXPECT_EQ(child->presentation(std::chrono::steady_clock::now()).alpha, 0.2);
  ASSERT_TRUE(runMainLoopUntil([&] { return completions_.size() == 2; }));
  EXPECT_EQ(completions_, (std::vector<bool>{false, false}));
}

TEST_F(AnimationTest, NestedBlocksKeepTheirOwnDurationsAndEmptyBlocksCompleteAtOnce) {
  auto other = View::make(Rect{0, 0, 10, 10});
  window_->addSubview(other);
  animate(10, [&] {
    view_->setAlpha(0.5);
    animate(0.05, [&] { other->setAlpha(0.5); });
    animate(3, [] {});
    view_->setCenter({1, 1});
  });
  EXPECT_TRUE(completions_.empty());  // not even the empty block's, from inside animate
  ASSERT_EQ(view_->animations().size(), 2u);
  EXPECT_EQ(view_->animations().front().duration, view_->animations().back().duration);
  EXPECT_LT(other->animations().front().duration, view_->animations().front().duration);
  ASSERT_TRUE(runMainLoopUntil([&] { return completions_.size() == 2; }));
  EXPECT_EQ(completions_, (std::vector<bool>{true, true}));
  // A change outside any block ends the animation of that property.
  view_->setAlpha(0.9);
  EXPECT_EQ(view_->animations().size(), 1u);
  // The tree goes with its window; the outer block ends unfinished.
  window_ = nullptr, view_ = nullptr;
  ASSERT_TRUE(runMainLoopUntil([&] { return completions_.size() == 3; }));
  EXPECT_EQ(completions_.back(), false);
}

TEST_F(AnimationTest, CompletionMayRemoveTheAnimatedViewAndAnimateAgain) {
  int runs = 0;
  const auto flip = [&] { view_->setAlpha(runs % 2); };
  std::function<void(bool)> again = [&](bool) {
    if (++runs == 3) return view_->removeFromSuperview();
    View::animate(0.01, flip, again);
  };
  View::animate(0.01, flip, again);
  ASSERT_TRUE(runMainLoopUntil([&] { return runs == 3; }));
  EXPECT_EQ(view_->superview(), nullptr);
}

}  // namespace
