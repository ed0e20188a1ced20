#include "Platform/UI/View.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>

#include "Platform/Foundation/Console.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/LayoutConstraint.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"
#include "Tests/Platform/UI/GeometryPrinting.h"
#include "Tests/Support/MainLoopPump.h"

using namespace std::chrono_literals;
using namespace platform;
using testsupport::runMainLoopUntil;

namespace {

using Views = std::vector<std::shared_ptr<View>>;

TEST(ViewTest, FrameCenterAndBoundsStayConsistent) {
  auto view = View::make(Rect{10, 20, 100, 50});
  EXPECT_EQ(view->center(), (Point{60, 45}));
  view->setBounds({5, 5, 40, 30});
  EXPECT_EQ(view->frame(), (Rect{40, 30, 40, 30}));
  view->setCenter({0, 0});
  EXPECT_EQ(std::pair(view->frame(), view->bounds()),
            std::pair(Rect{-20, -15, 40, 30}, Rect{5, 5, 40, 30}));
  view->setFrame({10, 10, -20, 30});  // negative width: standardised
  EXPECT_EQ(view->frame(), (Rect{-10, 10, 20, 30}));
  view->setFrame({0, 0, std::numeric_limits<double>::quiet_NaN(), 1});
  view->setCenter({std::numeric_limits<double>::infinity(), 0});
  EXPECT_EQ(view->frame(), (Rect{-10, 10, 20, 30}));
}

TEST(ViewTest, SubviewsKeepOrderAcrossMovesTagSearchIsDepthFirstAndCyclesAreRefused) {
  auto root = View::make(), a = View::make(), b = View::make(), c = View::make(), d = View::make();
  for (const auto& view : {a, b}) root->addSubview(view);
  root->insertSubview(c, 0);
  EXPECT_EQ(root->subviews(), (Views{c, a, b}));
  root->addSubview(c);  // moves to the end
  root->insertSubview(a, 99);
  EXPECT_EQ(root->subviews(), (Views{b, c, a}));
  b->addSubview(d);
  d->setTag(7);
  a->setTag(7);
  EXPECT_EQ((Views{root->viewWithTag(7), root->viewWithTag(8)}), (Views{d, nullptr}));
  root->setTag(7);
  EXPECT_EQ(root->viewWithTag(7), root);
  b->addSubview(c);
  EXPECT_EQ(root->subviews(), (Views{b, a}));
  c->addSubview(root);  // root is c's ancestor
  c->addSubview(c);
  EXPECT_TRUE(c->subviews().empty() && !root->superview());
  c->removeFromSuperview();
  EXPECT_TRUE(!c->superview() && b->subviews() == Views{d});
}

TEST(ViewTest, TintIsInheritedAndSafeAreaComesFromTheWindow) {
  auto window = Window::make({0, 0, 375, 667});
  window->setSafeAreaInsets({44, 0, 34, 0});
  auto parent = View::make(Rect{0, 20, 375, 300}), child = View::make(Rect{10, 10, 50, 50});
  window->addSubview(parent);
  parent->addSubview(child);
  EXPECT_EQ(child->tintColor(), Color::systemBlue());
  window->setTintColor(Color::white());
  EXPECT_EQ(child->tintColor(), Color::white());
  EXPECT_EQ(std::pair(parent->safeAreaInsets(), child->safeAreaInsets()),
            std::pair(EdgeInsets{24, 0, 0, 0}, EdgeInsets{14, 0, 0, 0}));
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
  EXPECT_TRUE(requests == 1 && window->displayGeneration() >= before + 3) << requests;
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

// Hosts read the root view's size as soon as the window's changes (in the orientation
// observer, say), before any layout pass; what the root view lays out follows on the next.
TEST(WindowTest, RootViewFollowsTheWindowsSizeAtOnceAndLaysOutAgain) {
  auto window = Window::make({0, 0, 320, 480});
  auto overlay = View::make(Rect{0, 0, 10, 10});
  window->addSubview(overlay);
  auto root = ViewController::make();
  window->setRootViewController(root);
  const auto& view = root->view();
  EXPECT_EQ(view->frame(), (Rect{0, 0, 320, 480}));
  EXPECT_EQ(window->subviews(), (Views{view, overlay}));  // behind what is shown over it
  auto bar = View::make();
  view->addSubview(bar);
  bar->setTranslatesAutoresizingMaskIntoConstraints(false);
  LayoutConstraint::activate(std::array{bar->leftAnchor().constraintEqualTo(view->leftAnchor()),
                                        bar->rightAnchor().constraintEqualTo(view->rightAnchor()),
                                        bar->topAnchor().constraintEqualTo(view->topAnchor()),
                                        bar->heightAnchor().constraintEqualToConstant(20)});
  window->setFrame({0, 0, 480, 320});
  EXPECT_EQ(view->frame(), (Rect{0, 0, 480, 320}));
  window->setBounds({0, 0, 600, 300});
  EXPECT_EQ(view->frame(), (Rect{0, 0, 600, 300}));
  window->layoutIfNeeded();
  EXPECT_EQ(bar->frame(), (Rect{0, 0, 600, 20}));

  auto next = ViewController::make();
  window->setRootViewController(next);
  EXPECT_EQ(view->superview(), nullptr);
  EXPECT_EQ(next->view()->frame(), (Rect{0, 0, 600, 300}));
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
  EXPECT_TRUE(alive == 1 && view->associatedObject<Companion>(&kKey));
  // Stored as another type, or under another key: nothing.
  EXPECT_FALSE(view->associatedObject<std::string>(&kKey) || view->associatedObject(&kOtherKey));
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
  EXPECT_TRUE(imageView->image() == normal && imageView->drawsAsTemplate());
  EXPECT_EQ(imageView->tintColor(), Color::white());
  button->setHighlighted(true);
  EXPECT_TRUE(button->currentImage() == pressed && imageView->image() == pressed);
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
  EXPECT_TRUE(app.windows() == (std::vector{first, second}) && !app.keyWindow());
  second->makeKeyAndVisible();
  EXPECT_TRUE(!second->isHidden() && app.keyWindow() == second);
  first->makeKey();
  EXPECT_TRUE(!second->isKeyWindow() && app.keyWindow() == first);

  std::vector<std::string> seen;
  auto& center = *NotificationCenter::defaultCenter();
  auto token = center.addObserver(std::nullopt, nullptr, nullptr, [&](const auto& note) {
    if (note.name.starts_with("UI")) seen.push_back(note.name);
  });
  using enum ApplicationState;
  using enum DeviceOrientation;
  for (auto state : {active, inactive, background, active}) app.setState(state);
  for (auto turn : {landscapeLeft, landscapeLeft, portrait}) app.setOrientation(turn);
  center.removeObserver(token);
  const std::string turned = "UIDeviceOrientationDidChangeNotification";
  EXPECT_EQ(seen,
            (std::vector<std::string>{"UIApplicationWillResignActiveNotification",
                                      "UIApplicationDidBecomeActiveNotification", turned, turned}));
}

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

TEST(NavigationControllerTest, StackShowsItsTopControllersViewFitted) {
  auto root = ViewController::make(), next = ViewController::make();
  auto navigation = ViewController::make<NavigationController>(root);
  navigation->pushViewController(next, false);
  navigation->pushViewController(next, false);  // already on the stack
  navigation->pushViewController(nullptr, false);
  EXPECT_TRUE(navigation->viewControllers() == (std::vector{root, next}) &&
              navigation->topViewController() == next);
  EXPECT_FALSE(next->isViewLoaded());  // nothing loads until the navigation view does
  navigation->view()->setFrame({0, 0, 200, 100});
  navigation->view()->layoutIfNeeded();
  EXPECT_TRUE(next->view()->superview() == navigation->view() &&
              next->view()->frame() == (Rect{0, 0, 200, 100}));
  EXPECT_EQ(navigation->popViewController(false), next);
  EXPECT_EQ(navigation->popViewController(false), nullptr);  // the root stays
  EXPECT_TRUE(!next->view()->superview() && navigation->view()->subviews() == Views{root->view()});
}

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
  EXPECT_EQ(std::pair(view_->frame(), view_->alpha()), std::pair(Rect{100, 0, 100, 100}, 0.0));
  ASSERT_FALSE(view_->animations().empty());
  const auto start = view_->animations().front().start;
  const auto middle = view_->presentation(start + 100ms);
  // Halfway is exact on the ease-in-out curve; the background comes from clear.
  EXPECT_EQ((std::array{middle.frame().origin.x, middle.alpha, middle.cornerRadius,
                        middle.backgroundColor->alpha, view_->presentation(start).frame().origin.x,
                        view_->presentation(start + 1s).frame().origin.x}),
            (std::array<double, 6>{50, 0.5, 5, 0.5, 0, 100}));
  EXPECT_TRUE(window_->hasRunningAnimations(start + 100ms) &&
              !window_->hasRunningAnimations(start + 200ms));
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
  EXPECT_EQ(std::pair(std::get<double>(second.from), std::get<double>(second.to)),
            std::pair(std::get<double>(first.valueAt(second.start)), 1.0));
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
  EXPECT_TRUE(view_->animations().empty() && child->animations().empty());
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

using Constraints = std::vector<std::shared_ptr<LayoutConstraint>>;

std::shared_ptr<View> constrained(const std::shared_ptr<View>& parent) {
  auto view = View::make(Rect{1, 2, 3, 4});
  parent->addSubview(view);
  view->setTranslatesAutoresizingMaskIntoConstraints(false);
  return view;
}

Constraints fit(View& parent, View& child, double margin) {
  return {child.topAnchor().constraintEqualTo(parent.topAnchor(), margin),
          child.bottomAnchor().constraintEqualTo(parent.bottomAnchor(), -margin),
          child.leftAnchor().constraintEqualTo(parent.leftAnchor(), margin),
          child.rightAnchor().constraintEqualTo(parent.rightAnchor(), -margin)};
}

class LayoutTest : public ::testing::Test {
 protected:
  std::shared_ptr<View> parent_ = View::make(Rect{50, 50, 200, 100});
  ConsoleCapture console_;

  void layOut(const Constraints& constraints) {
    LayoutConstraint::activate(constraints);
    parent_->layoutIfNeeded();
  }
};

TEST_F(LayoutTest, EdgesFollowTheSuperviewsBoundsAndLeadingMirrorsInRightToLeft) {
  auto child = constrained(parent_), corner = constrained(parent_);
  auto byDirection = constrained(parent_), byEdge = constrained(parent_);
  auto fitted = fit(*parent_, *child, 8);
  layOut(fitted);
  // Written from the superview's side: the subview is the second item.
  layOut({corner->widthAnchor().constraintEqualToConstant(24),
          parent_->topAnchor().constraintEqualTo(corner->topAnchor(), -4),
          corner->heightAnchor().constraintEqualToConstant(24),
          corner->rightAnchor().constraintEqualTo(parent_->rightAnchor(), -4),
          byDirection->leadingAnchor().constraintEqualTo(parent_->leadingAnchor(), 10),
          byDirection->trailingAnchor().constraintEqualTo(parent_->trailingAnchor(), -100),
          byEdge->leftAnchor().constraintEqualTo(parent_->leftAnchor(), 10),
          byEdge->widthAnchor().constraintEqualToConstant(90)});
  EXPECT_EQ((std::array{child->frame(), corner->frame(), byDirection->frame()}),
            (std::array<Rect, 3>{{{8, 8, 184, 84}, {172, 4, 24, 24}, {10, 2, 90, 4}}}));

  parent_->setSemanticContentAttribute(SemanticContentAttribute::forceRightToLeft);
  parent_->setBounds({10, 0, 300, 50});  // bounds origin shifts what the edges are
  fitted[0]->setConstant(2);
  parent_->layoutIfNeeded();
  EXPECT_EQ((std::array{child->frame(), corner->frame(), byDirection->frame(), byEdge->frame()}),
            (std::array<Rect, 4>{
                {{18, 2, 284, 40}, {282, 4, 24, 24}, {110, 2, 190, 4}, {20, 2, 90, 4}}}));
  EXPECT_TRUE(console_.lines().empty());
}

TEST_F(LayoutTest, SiblingChainResolvesWhateverTheOrderOfItsConstraints) {
  std::vector<std::shared_ptr<View>> row;
  for (int i = 0; i < 5; ++i) row.push_back(constrained(parent_));
  Constraints constraints;
  // Declared from the far end, so each link waits for the one before it.
  for (int i = 4; i > 0; --i) {
    constraints.push_back(row[i]->leftAnchor().constraintEqualTo(row[i - 1]->rightAnchor(), 2));
    constraints.push_back(row[i]->widthAnchor().constraintEqualTo(row[i - 1]->widthAnchor()));
    constraints.push_back(row[i]->centerYAnchor().constraintEqualTo(row[i - 1]->centerYAnchor()));
  }
  constraints.insert(constraints.end(),
                     {row[0]->leftAnchor().constraintEqualTo(parent_->leftAnchor()),
                      row[0]->widthAnchor().constraintEqualToConstant(10),
                      row[0]->centerYAnchor().constraintEqualTo(parent_->centerYAnchor()),
                      row[0]->heightAnchor().constraintEqualToConstant(6)});
  layOut(constraints);
  // The last one's height is untouched: not constrained.
  EXPECT_EQ(std::pair(row[0]->frame(), row[4]->frame()),
            std::pair(Rect{0, 47, 10, 6}, Rect{48, 48, 10, 4}));
  EXPECT_TRUE(console_.lines().empty());
}

// Each unsatisfiable set is reported once, naming its views, and layout goes on around it.
TEST(UnsatisfiableLayout, IsReportedOnceNamingTheViewsAndLayoutGoesOn) {
  const double infinity = std::numeric_limits<double>::infinity();
  for (int set = 0; set < 5; ++set) {
    SCOPED_TRACE(set);
    auto parent = View::make(Rect{50, 50, 200, 100});
    auto a = constrained(parent), b = constrained(parent), bystander = constrained(parent);
    const std::vector<Constraints> sets{
        {a->widthAnchor().constraintEqualToConstant(10),
         a->widthAnchor().constraintEqualToConstant(20)},
        {a->leftAnchor().constraintEqualTo(b->leftAnchor(), 10),
         b->leftAnchor().constraintEqualTo(a->leftAnchor(), 10)},  // a cycle
        {a->heightAnchor().constraintEqualToConstant(-5)},
        {a->topAnchor().constraintEqualTo(parent->bottomAnchor()),
         a->bottomAnchor().constraintEqualTo(parent->topAnchor())},
        {a->leftAnchor().constraintEqualTo(parent->leftAnchor(), infinity)}};
    ConsoleCapture console;
    LayoutConstraint::activate(sets[set]);
    LayoutConstraint::activate(fit(*parent, *bystander, 5));
    parent->layoutIfNeeded();
    EXPECT_EQ(bystander->frame(), (Rect{5, 5, 190, 90}));
    const auto lines = console.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].contains(a->description()) && !lines[0].contains(bystander->description()))
        << lines[0];
    EXPECT_TRUE(a->frame().size.width >= 0 && a->frame().size.height >= 0);
  }
}

TEST_F(LayoutTest, RemovingAViewEndsItsConstraintsToTheTreeItLeaves) {
  auto child = constrained(parent_), inner = constrained(child);
  auto toParent = inner->widthAnchor().constraintEqualTo(parent_->widthAnchor());
  auto withinChild = inner->heightAnchor().constraintEqualTo(child->heightAnchor());
  layOut({toParent, withinChild});
  child->removeFromSuperview();
  EXPECT_TRUE(!toParent->isActive() && withinChild->isActive());
  auto stranger = View::make();
  auto across = stranger->widthAnchor().constraintEqualTo(parent_->widthAnchor());
  across->setActive(true);  // no common tree
  EXPECT_FALSE(across->isActive());
  std::weak_ptr<View> gone = inner;
  // The constraint lists must not keep views alive, nor the other way round.
  withinChild = nullptr, inner = nullptr, child = nullptr;
  EXPECT_TRUE(gone.expired());
}

struct SelfRemovingView : public View {
  void layoutSubviews() override {
    View::layoutSubviews();
    ++layouts;
    removeFromSuperview();
  }
  int layouts = 0;
};

TEST_F(LayoutTest, ViewMayRemoveItselfFromInsideItsLayout) {
  auto first = View::make<SelfRemovingView>(Rect{}), second = View::make<SelfRemovingView>(Rect{});
  for (const auto& view : {first, second}) parent_->addSubview(view);
  first = nullptr;
  for (int pass = 0; pass < 2; ++pass) parent_->layoutIfNeeded();
  EXPECT_TRUE(second->layouts == 1 && parent_->subviews().empty());
}

}  // namespace
