#include "Examples/DemoHost/DemoPictureInPicture.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "Classes/UI/PIP/PIPContainerController.h"
#include "Classes/UI/PIP/PIPManager.h"
#include "Examples/DemoHost/DemoSnapshot.h"
#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Foundation/Console.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/LayoutConstraint.h"
#include "Platform/UI/Render/DesktopWindow.h"
#include "Platform/UI/Render/Snapshot.h"
#include "Platform/UI/View.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"

namespace demo {
namespace {

using namespace std::chrono_literals;
using brelum::PIPManager;
using platform::Color;
using platform::Console;
using platform::Point;
using platform::PointerPhase;
using platform::Rect;
using platform::View;

// What the floating window shows: a striped card, so its corners and its motion are seen.
std::shared_ptr<platform::ViewController> content() {
  auto controller = platform::ViewController::make();
  const auto& view = controller->view();
  view->setBackgroundColor(Color{0.12, 0.14, 0.2, 1});
  for (int stripe = 0; stripe < 4; ++stripe) {
    auto band = View::make(Rect{0, 50.0 * stripe, 400, 25});
    band->setBackgroundColor(Color{0.95, 0.55 + 0.1 * stripe, 0.2, 1});
    view->addSubview(band);
  }
  return controller;
}

// The host's own screen under the floating window: a header across the top at any width,
// its controller the window's root, so that it turns with the window.
std::shared_ptr<platform::ViewController> home() {
  auto controller = platform::ViewController::make();
  const auto& view = controller->view();
  auto header = View::make();
  header->setBackgroundColor(Color{0.1, 0.45, 0.9, 1});
  header->setTranslatesAutoresizingMaskIntoConstraints(false);
  view->addSubview(header);
  platform::LayoutConstraint::activate(
      std::array{header->leadingAnchor().constraintEqualTo(view->leadingAnchor()),
                 header->trailingAnchor().constraintEqualTo(view->trailingAnchor()),
                 header->topAnchor().constraintEqualTo(view->topAnchor()),
                 header->heightAnchor().constraintEqualToConstant(100)});
  return controller;
}

// Waits on the main loop until the manager's animations have ended.
void settle() {
  platform::MainLoop::runFor(400ms);
}

class Act {
 public:
  Act() {
    window_->setBackgroundColor(Color{0.93, 0.94, 0.96, 1});
    window_->setRootViewController(home());
    window_->makeKeyAndVisible();
    container_->embed(*content_);
    PIPManager::setOnClosePipTapped([this] {
      ++closeTaps_;
      PIPManager::dismiss(true, [this] { dismissed_ = true; });
    });
  }
  ~Act() { PIPManager::setOnClosePipTapped(nullptr); }

  [[nodiscard]] const std::shared_ptr<platform::Window>& window() const { return window_; }
  [[nodiscard]] const std::shared_ptr<brelum::PIPContainerController>& container() const {
    return container_;
  }
  [[nodiscard]] bool dismissed() const { return dismissed_; }
  [[nodiscard]] int closeTaps() const { return closeTaps_; }

 private:
  std::shared_ptr<platform::Window> window_ = platform::Window::make({0, 0, 375, 667});
  std::shared_ptr<brelum::PIPContainerController> container_ =
      platform::ViewController::make<brelum::PIPContainerController>();
  std::shared_ptr<platform::ViewController> content_ = content();
  int closeTaps_ = 0;
  bool dismissed_ = false;
};

class Script {
 public:
  explicit Script(Act& act) : act_(act) {}

  bool snapshot(const std::string& name,
                platform::Snapshot::Clock::time_point at = platform::Snapshot::Clock::now()) {
    return demo::snapshot(*act_.window(), name, at);
  }

  void touch(PointerPhase phase, Point at) {
    platform::Application::shared().sendPointer(act_.window(), phase, at);
  }

  void drag(Point from, Point to) {
    touch(PointerPhase::down, from);
    for (int step = 1; step <= 10; ++step) {
      touch(PointerPhase::moved,
            {from.x + (to.x - from.x) * step / 10, from.y + (to.y - from.y) * step / 10});
    }
    touch(PointerPhase::up, to);
  }

  [[nodiscard]] Rect pipFrame() const { return act_.container()->view()->frame(); }

 private:
  Act& act_;
};

bool playScripted(Act& act) {
  Script script(act);
  platform::Screen::main().setScale(2);
  PIPManager::show(act.container());
  const auto& fade = act.container()->view()->animations();
  if (fade.empty()) return false;
  if (!script.snapshot("5-pip-fading-in.png", fade.front().start + fade.front().duration / 2)) {
    return false;
  }
  settle();
  if (!script.snapshot("6-pip-bottom-right.png")) return false;

  const auto frame = script.pipFrame();
  script.drag({frame.midX(), frame.midY()}, {120, 330});
  Console::print("  Dragged the floating window to the left middle; it snaps there");
  settle();
  if (!script.snapshot("7-pip-snapped-middle-left.png")) return false;

  brelum::stopPIPMode(*act.container());
  settle();
  if (!script.snapshot("8-full-screen.png")) return false;
  brelum::startPIPMode(*act.container());
  settle();

  act.window()->setFrame({0, 0, 667, 375});
  platform::Application::shared().setOrientation(platform::DeviceOrientation::landscapeLeft);
  settle();
  Console::print(
      "  Rotated to landscape: the host's screen widens, the floating window keeps its position");
  if (!script.snapshot("9-landscape.png")) return false;

  const auto now = script.pipFrame();
  const Point close{now.maxX() - 4 - 12, now.minY() + 4 + 12};
  script.touch(PointerPhase::down, close);
  script.touch(PointerPhase::up, close);
  Console::print("  Tapped close: the host's handler dismisses");
  if (!platform::MainLoop::runUntil([&] { return act.dismissed(); }, 5s)) return false;
  return script.snapshot("10-dismissed.png") && act.closeTaps() == 1;
}

}  // namespace

bool showPictureInPicture(bool headless) {
  Act act;
  auto desktop = headless ? nullptr : platform::DesktopWindow::show(act.window(), "Brelum PIP");
  if (!desktop) return playScripted(act);
  Console::print("  A floating window is shown: drag it, tap its close button to end");
  PIPManager::show(act.container());
  desktop->setCloseHandler([] { platform::MainLoop::stop(); });
  platform::MainLoop::runUntil([&] { return act.dismissed(); }, std::chrono::hours(24));
  return true;
}

}  // namespace demo
