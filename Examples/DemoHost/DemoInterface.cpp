#include "Examples/DemoHost/DemoInterface.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Examples/DemoHost/DemoSnapshot.h"
#include "Examples/DemoHost/ProfileCard.h"
#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Foundation/Console.h"
#include "Platform/Graphics/ImageContext.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/PanGestureRecognizer.h"
#include "Platform/UI/Render/DesktopWindow.h"
#include "Platform/UI/Render/Snapshot.h"
#include "Platform/UI/Window.h"

namespace demo {
namespace {

using namespace std::chrono_literals;
using platform::Color;
using platform::Console;
using platform::Point;
using platform::PointerPhase;
using platform::Rect;
using platform::View;

constexpr double kReturnDuration = 0.6;
const Point kSquareHome{180, 420};

std::shared_ptr<View> card(const Rect& frame, Color color, double radius) {
  auto view = View::make(frame);
  view->setBackgroundColor(color);
  view->layer()->setCornerRadius(radius);
  return view;
}

// A round "home" glyph for the button, drawn in code; a template, so it takes the tint.
std::shared_ptr<platform::Image> homeGlyph() {
  platform::ImageContext context({40, 40}, false, 2);
  context.setFillColor(Color::black());
  context.fillEllipse({4, 4, 32, 32});
  auto image = context.makeImage();
  return image ? image->withRenderingMode(platform::Image::RenderingMode::alwaysTemplate) : nullptr;
}

// The scene and what its controls do.
class Scene {
 public:
  Scene() {
    window_->setBackgroundColor(Color{0.95, 0.95, 0.97, 1});
    window_->setTintColor(Color{0.1, 0.45, 0.9, 1});
    window_->addSubview(card({0, 0, 360, 90}, Color{0.1, 0.45, 0.9, 1}, 0));
    auto banner = card({20, 110, 320, 140}, Color{1, 1, 1, 1}, 18);
    banner->layer()->setMasksToBounds(true);
    banner->addSubview(card({-30, 80, 140, 140}, Color{0.3, 0.8, 0.5, 1}, 70));
    banner->addSubview(card({230, -40, 120, 120}, Color{1, 0.8, 0.2, 1}, 60));
    window_->addSubview(banner);
    auto faded = card({20, 270, 150, 60}, Color{0.6, 0.2, 0.8, 1}, 12);
    faded->setAlpha(0.5);
    window_->addSubview(faded);

    button_->setFrame({190, 270, 150, 60});
    button_->setBackgroundColor(Color::white());
    button_->layer()->setCornerRadius(12);
    button_->setImage(homeGlyph(), platform::ControlState::normal);
    button_->setImageEdgeInsets({10, 10, 10, 10});
    button_->addAction([this] { sendSquareHome(); }, platform::ControlEvents::touchUpInside);
    window_->addSubview(button_);

    window_->addSubview(profileCard_);

    square_->setCenter(kSquareHome);
    pan_->addTarget(dragger_, &Dragger::pan);
    square_->addGestureRecognizer(pan_);
    window_->addSubview(square_);
    window_->makeKeyAndVisible();
  }

  [[nodiscard]] const std::shared_ptr<platform::Window>& window() const { return window_; }
  [[nodiscard]] const std::shared_ptr<View>& square() const { return square_; }
  [[nodiscard]] Point buttonCenter() const { return button_->center(); }
  [[nodiscard]] int returnsFinished() const { return returnsFinished_; }
  [[nodiscard]] const std::shared_ptr<ProfileCard>& profileCard() const { return profileCard_; }

 private:
  class Dragger {
   public:
    void pan(platform::PanGestureRecognizer& pan) {
      auto view = pan.view();
      auto moved = pan.translation(view->superviewPointer());
      view->setCenter({view->center().x + moved.x, view->center().y + moved.y});
      pan.setTranslation({}, view->superviewPointer());
    }
  };

  void sendSquareHome() {
    View::animate(
        kReturnDuration, [this] { square_->setCenter(kSquareHome); },
        [this](bool finished) { returnsFinished_ += finished ? 1 : 0; });
  }

  std::shared_ptr<platform::Window> window_ = platform::Window::make({0, 0, 360, 640});
  std::shared_ptr<platform::Button> button_ = View::make<platform::Button>();
  std::shared_ptr<View> square_ = card({0, 0, 112, 200}, Color{1, 0.45, 0.2, 1}, 24);
  std::shared_ptr<ProfileCard> profileCard_ = View::make<ProfileCard>(Rect{20, 540, 320, 84});
  std::shared_ptr<Dragger> dragger_ = std::make_shared<Dragger>();
  std::shared_ptr<platform::PanGestureRecognizer> pan_ = platform::PanGestureRecognizer::make();
  int returnsFinished_ = 0;
};

void touch(const Scene& scene, PointerPhase phase, Point at) {
  platform::Application::shared().sendPointer(scene.window(), phase, at);
}

bool playScripted(Scene& scene) {
  Console::print("  No display in use: playing a scripted sequence");
  // Drawn at a phone's density, as the picture would appear on one.
  platform::Screen::main().setScale(2);
  if (!platform::MainLoop::runUntil([&] { return scene.profileCard()->hasDownloadedBadge(); },
                                    10s)) {
    Console::print("  The profile card's badge did not arrive from the back end within 10 s");
    return false;
  }
  Console::print("  Profile card from ProfileCard.nib; its badge glyph came from the back end");
  if (!snapshot(*scene.window(), "1-start.png")) return false;

  const Point from = scene.square()->center();
  touch(scene, PointerPhase::down, from);
  for (int step = 1; step <= 8; ++step) {
    touch(scene, PointerPhase::moved, {from.x - 12.0 * step, from.y - 20.0 * step});
  }
  touch(scene, PointerPhase::up, {from.x - 96, from.y - 160});
  Console::print("  Dragged the square by (-96, -160)");
  if (!snapshot(*scene.window(), "2-dragged.png")) return false;

  touch(scene, PointerPhase::down, scene.buttonCenter());
  touch(scene, PointerPhase::up, scene.buttonCenter());
  Console::print("  Tapped the button: the square animates home");
  const auto& animations = scene.square()->animations();
  if (animations.empty()) return false;
  const auto halfway = animations.front().start + animations.front().duration / 2;
  if (!snapshot(*scene.window(), "3-halfway-home.png", halfway)) return false;
  if (!platform::MainLoop::runUntil([&] { return scene.returnsFinished() > 0; }, 5s)) {
    Console::print("  The animation did not finish within 5 s");
    return false;
  }
  return snapshot(*scene.window(), "4-home.png");
}

}  // namespace

bool showInterface(bool headless) {
  Scene scene;
  auto desktop = headless ? nullptr : platform::DesktopWindow::show(scene.window(), "Brelum demo");
  if (!desktop) return playScripted(scene);
  Console::print("  A window is open: drag the orange square, tap the button to send it home,");
  Console::print("  close the window to end");
  desktop->setCloseHandler([] { platform::MainLoop::stop(); });
  platform::MainLoop::run();
  Console::print("  Window closed");
  return true;
}

}  // namespace demo
