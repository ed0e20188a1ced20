#include "Examples/DemoHost/DemoVideo.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "Classes/UI/PIP/PIPManager.h"
#include "Classes/UI/Video/VideoController.h"
#include "Examples/DemoHost/DemoSnapshot.h"
#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Foundation/Console.h"
#include "Platform/Media/Player.h"
#include "Platform/Media/PlayerItem.h"
#include "Platform/Media/PlayerLayer.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Render/DesktopWindow.h"
#include "Platform/UI/Render/Snapshot.h"
#include "Platform/UI/Window.h"

namespace demo {
namespace {

using namespace std::chrono_literals;
using platform::Console;

constexpr auto kStepTimeout = 20s;

// The layer showing the video now, or null while it is stopped.
std::shared_ptr<platform::PlayerLayer> shownLayer(brelum::VideoController& controller) {
  const auto& subviews = controller.view()->subviews();
  if (subviews.empty() || subviews.front()->layer()->sublayers().empty()) return nullptr;
  return std::dynamic_pointer_cast<platform::PlayerLayer>(
      subviews.front()->layer()->sublayers().front());
}

// Playing, with a picture drawn from the current item.
bool isShowingPictures(brelum::VideoController& controller) {
  auto layer = shownLayer(controller);
  return layer && layer->player()->rate() == 1.0f && layer->contents();
}

bool step(const std::string& what, const std::function<bool()>& done) {
  if (platform::MainLoop::runUntil(done, kStepTimeout)) {
    Console::print("  " + what);
    return true;
  }
  Console::print("  " + what + ": not within 20 s");
  return false;
}

bool playScripted(platform::Window& window, brelum::VideoController& controller) {
  if (!step("Playing in picture-in-picture", [&] { return isShowingPictures(controller); })) {
    return false;
  }
  // The first pictures arrive while the floating window still fades in.
  platform::MainLoop::runFor(std::chrono::milliseconds(400));
  if (!snapshot(window, "11-video.png")) return false;
  const auto first = shownLayer(controller)->player()->currentItem();
  if (!step("Reached its end and started over",
            [&] {
              return isShowingPictures(controller) &&
                     shownLayer(controller)->player()->currentItem() != first;
            }) ||
      !snapshot(window, "12-video-looped.png")) {
    return false;
  }
  auto& application = platform::Application::shared();
  application.setState(platform::ApplicationState::inactive);
  if (!step("Application resigned active: stopped", [&] { return !shownLayer(controller); })) {
    return false;
  }
  application.setState(platform::ApplicationState::active);
  return step("Application active again: playing from the beginning",
              [&] { return isShowingPictures(controller); });
}

}  // namespace

bool showVideo(bool headless) {
  const char* address = std::getenv("BRELUM_DEMO_VIDEO_URL");
  const auto url = address ? platform::URL::make(address) : std::nullopt;
  if (!url) {
    Console::print("  No clip served (BRELUM_DEMO_VIDEO_URL unset): scene skipped");
    return true;
  }
  auto window = platform::Window::make({0, 0, 360, 640});
  window->setBackgroundColor(platform::Color{0.95, 0.95, 0.97, 1});
  window->makeKeyAndVisible();
  auto controller = platform::ViewController::make<brelum::VideoController>();
  controller->setOnErrorOccured([] { Console::print("  The video failed to start again"); });
  brelum::PIPManager::show(controller);
  controller->play(*url);
  Console::print("  Playing " + url->absoluteString());

  auto desktop = headless ? nullptr : platform::DesktopWindow::show(window, "Brelum video");
  bool played = true;
  if (desktop) {
    Console::print("  A window is open: the video loops in picture-in-picture; it stops while");
    Console::print("  the window loses focus and starts over when it regains it; close it to end");
    desktop->setCloseHandler([] { platform::MainLoop::stop(); });
    platform::MainLoop::run();
  } else {
    played = playScripted(*window, *controller);
  }
  brelum::PIPManager::dismiss(false);
  return played;
}

}  // namespace demo
