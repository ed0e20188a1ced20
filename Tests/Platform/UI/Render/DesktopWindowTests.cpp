#include "Platform/UI/Render/DesktopWindow.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/LayoutConstraint.h"
#include "Platform/UI/PanGestureRecognizer.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"
#include "Tests/Platform/UI/GeometryPrinting.h"
#include "Tests/Platform/UI/Render/PixelProbe.h"
#include "Tests/Support/MainLoopPump.h"
#include "Tests/Support/XvfbServer.h"

using namespace platform;
using testsupport::pixelsMatch;
using testsupport::RGBA;
using testsupport::runMainLoopUntil;
using testsupport::XClient;

namespace {

constexpr auto kTitle = "DesktopWindowTest";
constexpr RGBA kWhite{255, 255, 255, 255}, kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255};

// Moves its view along with the pan that drives it.
struct Dragger {
  void pan(PanGestureRecognizer& pan) {
    auto view = pan.view();
    auto moved = pan.translation(view->superviewPointer());
    view->setCenter({view->center().x + moved.x, view->center().y + moved.y});
    pan.setTranslation({}, view->superviewPointer());
  }
};

// Each test gets an X server of its own and a 200 x 300 point white window on it.
class DesktopWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto server = testsupport::XvfbServer::start();
    ASSERT_TRUE(server) << server.error();
    server_ = std::move(*server);
    server_->makeCurrent();
    window_->setBackgroundColor(Color::white());
    window_->makeKeyAndVisible();
  }

  void TearDown() override {
    desktop_.reset();  // closes SDL's connection before the server goes
    window_.reset();
    testsupport::drainMainQueue();
    Screen::main().setScale(1);
    Application::shared().setState(ApplicationState::active);
    Application::shared().setOrientation(DeviceOrientation::portrait);
  }

  // Shows the window and waits until the server shows its first frame.
  void show() {
    desktop_ = DesktopWindow::show(window_, kTitle);
    ASSERT_TRUE(desktop_);
    ASSERT_TRUE(runMainLoopUntil([&] {
      id_ = x().windowTitled(kTitle);
      return id_ && desktop_->framesShown() > 0;
    }));
  }

  XClient& x() { return server_->client(); }

  // Whether the server shows `colour` under the window point (px, py).
  bool shows(double px, double py, RGBA colour) {
    const double scale = Screen::main().scale();
    auto pixel = x().pixel(*id_, static_cast<int>(px * scale), static_cast<int>(py * scale));
    return pixel && pixelsMatch("", "", testsupport::fromRGB(*pixel), colour);
  }

  // Presses at `from`, moves to `to` in steps and lets go; window points.
  void drag(Point from, Point to, int steps) {
    const auto o = *x().geometry(*id_);
    const double s = Screen::main().scale();
    auto moveTo = [&](Point p) { x().movePointer(int(o.x + p.x * s), int(o.y + p.y * s)); };
    moveTo(from);
    x().pressButton();
    for (int i = 1; i <= steps; ++i)
      moveTo({from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps});
    x().releaseButton();
  }

  std::unique_ptr<testsupport::XvfbServer> server_;
  std::shared_ptr<Window> window_ = Window::make({0, 0, 200, 300});
  std::shared_ptr<DesktopWindow> desktop_;
  std::optional<XClient::WindowID> id_;
};

TEST_F(DesktopWindowTest, ARealDragMovesTheViewAndTheServerShowsItAtTheDisplaysDensity) {
  x().setResources("Xft.dpi:\t192\n");
  auto square = View::make(Rect{20, 20, 50, 50});
  square->setBackgroundColor(Color{1, 0, 0, 1});
  auto dragger = std::make_shared<Dragger>();
  auto pan = PanGestureRecognizer::make();
  pan->addTarget(dragger, &Dragger::pan);
  square->addGestureRecognizer(pan);
  window_->addSubview(square);
  show();
  EXPECT_EQ(Screen::main().scale(), 2);
  EXPECT_EQ(x().geometry(*id_)->width, 400);
  ASSERT_TRUE(runMainLoopUntil([&] { return shows(45, 45, kRed); }));

  drag({45, 45}, {145, 205}, 10);
  ASSERT_TRUE(runMainLoopUntil([&] { return shows(145, 205, kRed) && shows(45, 45, kWhite); }));
  EXPECT_EQ(square->frame(), (Rect{120, 180, 50, 50}));
}

TEST_F(DesktopWindowTest, FocusWiderShapesAndClosingReachTheApplicationTheRootViewAndTheHost) {
  std::vector<std::string> posted;
  auto& center = *NotificationCenter::defaultCenter();
  for (auto name :
       {Application::kWillResignActiveNotification, Application::kDidBecomeActiveNotification,
        Application::kDeviceOrientationDidChangeNotification}) {
    center.addObserver(this, std::string(name), nullptr,
                       [&](const auto& notification) { posted.push_back(notification.name); });
  }
  auto corner = View::make(Rect{0, 0, 10, 10});
  corner->setBackgroundColor(Color{1, 0, 0, 1});
  window_->addSubview(corner);
  // Pinned to the root view's bottom right: it moves only when the root view follows the
  // window and lays out again.
  auto root = ViewController::make();
  window_->setRootViewController(root);
  auto pinned = View::make();
  pinned->setBackgroundColor(Color{0, 0, 1, 1});
  pinned->setTranslatesAutoresizingMaskIntoConstraints(false);
  const auto& rootView = root->view();
  rootView->addSubview(pinned);
  LayoutConstraint::activate(
      std::array{pinned->rightAnchor().constraintEqualTo(rootView->rightAnchor()),
                 pinned->bottomAnchor().constraintEqualTo(rootView->bottomAnchor()),
                 pinned->widthAnchor().constraintEqualToConstant(10),
                 pinned->heightAnchor().constraintEqualToConstant(10)});
  show();
  x().focus(*id_);
  x().focusElsewhere();
  ASSERT_TRUE(runMainLoopUntil([&] { return !posted.empty(); }));
  EXPECT_EQ(Application::shared().state(), ApplicationState::inactive);
  x().focus(*id_);
  ASSERT_TRUE(runMainLoopUntil([&] { return posted.size() == 2; }));
  EXPECT_EQ(Application::shared().state(), ApplicationState::active);

  x().resize(*id_, 400, 250);
  ASSERT_TRUE(runMainLoopUntil([&] { return window_->frame().size.width == 400; }));
  EXPECT_EQ(window_->frame().size.height, 250);
  EXPECT_EQ(Application::shared().orientation(), DeviceOrientation::landscapeLeft);
  EXPECT_EQ(rootView->frame(), (Rect{0, 0, 400, 250}));
  // The enlarged window is drawn whole, the new part too.
  corner->setFrame({380, 230, 10, 10});
  ASSERT_TRUE(runMainLoopUntil([&] { return shows(385, 235, kRed) && shows(5, 5, kWhite); }));
  EXPECT_TRUE(shows(395, 245, kBlue));
  x().resize(*id_, 420, 260);  // still wider: no turn
  ASSERT_TRUE(runMainLoopUntil([&] { return window_->frame().size.width == 420; }));
  center.removeObserver(this);
  EXPECT_EQ(posted, (std::vector<std::string>{
                        std::string(Application::kWillResignActiveNotification),
                        std::string(Application::kDidBecomeActiveNotification),
                        std::string(Application::kDeviceOrientationDidChangeNotification)}));

  bool closed = false;
  desktop_->setCloseHandler([&] { closed = true; });
  x().requestClose(*id_);
  ASSERT_TRUE(runMainLoopUntil([&] { return closed; }));
  EXPECT_FALSE(desktop_->isOpen());
  EXPECT_TRUE(runMainLoopUntil([&] { return !x().windowTitled(kTitle); }));
}

TEST(DesktopWindowHeadlessTest, WithoutADisplayNoWindowOpens) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  auto window = Window::make({0, 0, 10, 10});
  EXPECT_EQ(DesktopWindow::show(window, kTitle), nullptr);
}

}  // namespace
