#include "Classes/UI/PIP/PIPManager.h"

#include <utility>

#include "Classes/BrelumCoreSDKResources.h"
#include "Classes/UI/Extensions/ColorExtensions.h"
#include "Classes/UI/PIP/PIPManagerEventDispatcher.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/LayoutConstraint.h"
#include "Platform/UI/View.h"
#include "Platform/UI/Window.h"

namespace brelum {

namespace {

constexpr double kFadeInDuration = 0.25;
constexpr double kFadeOutDuration = 0.15;
constexpr double kCornerRadius = 2.0;
constexpr double kCloseButtonSide = 24.0;
constexpr double kCloseButtonInset = 4.0;

}  // namespace

struct PIPManager::Presentation {
  _PIPState state = _PIPState::inactive;
  std::shared_ptr<platform::ViewController> rootViewController;
  std::function<void()> onClosePipTapped;
  // Counts animated dismissals, so that a fade which ends after its dismissal was completed
  // by a later show (or by an earlier fade) leaves the new presentation alone.
  std::uint64_t dismissal = 0;
  bool dismissalPending = false;
  std::function<void()> pendingDismissalCompletion;
};

PIPManager::Presentation& PIPManager::presentation() {
  static Presentation presentation;
  return presentation;
}

bool PIPManager::isPIP() {
  return state() == _PIPState::pip;
}

bool PIPManager::isActive() {
  return presentation().rootViewController != nullptr;
}

std::shared_ptr<platform::ViewController> PIPManager::visibleViewController() {
  return presentation().rootViewController;
}

const std::function<void()>& PIPManager::onClosePipTapped() {
  return presentation().onClosePipTapped;
}

void PIPManager::setOnClosePipTapped(std::function<void()> handler) {
  presentation().onClosePipTapped = std::move(handler);
}

_PIPState PIPManager::state() {
  return presentation().state;
}

void PIPManager::setState(_PIPState state) {
  presentation().state = state;
  stateUpdated();
}

void PIPManager::stateUpdated() {
  const auto& controller = presentation().rootViewController;
  if (state() == _PIPState::pip) {
    if (controller) {
      const auto& layer = controller->view()->layer();
      layer->setMasksToBounds(true);
      layer->setCornerRadius(kCornerRadius);
    }
    addCloseButton();
    return;
  }
  if (controller) {
    const auto& layer = controller->view()->layer();
    layer->setMasksToBounds(false);
    layer->setCornerRadius(0);
    removeCloseButton();
  }
}

void PIPManager::showController(std::shared_ptr<platform::ViewController> controller,
                                std::function<void()> completion) {
  auto window = keyWindow();
  if (!window || !controller) return;
  auto& p = presentation();
  if (p.dismissalPending) finishDismissal(p.dismissal);
  if (!p.rootViewController) {
    showFirst(window, std::move(controller), std::move(completion));
    return;
  }
  // Replacing: what an unanimated dismissal does, then a first show of the new controller,
  // which gets the caller's completion.
  setState(_PIPState::dismissing);
  pipDismiss(p.rootViewController, false,
             [controller = std::move(controller), completion = std::move(completion)]() mutable {
               reset();
               showController(std::move(controller), std::move(completion));
             });
}

void PIPManager::showFirst(const std::shared_ptr<platform::Window>& window,
                           std::shared_ptr<platform::ViewController> controller,
                           std::function<void()> completion) {
  auto& p = presentation();
  const auto* usable = asPIPUsable(*controller);
  p.rootViewController = controller;
  setState(usable->initialState() == PIPState::full ? _PIPState::full : _PIPState::pip);
  const auto& view = controller->view();
  view->setAlpha(0);
  window->addSubview(view);
  setupEventDispatcher(controller);
  platform::View::animate(
      kFadeInDuration,
      [] {
        if (const auto& shown = presentation().rootViewController) shown->view()->setAlpha(1);
      },
      [completion = std::move(completion)](bool) {
        if (completion) completion();
      });
}

void PIPManager::dismiss(bool animated, std::function<void()> completion) {
  auto& p = presentation();
  setState(_PIPState::dismissing);
  if (!p.rootViewController) return;
  if (!animated) {
    if (p.dismissalPending) finishDismissal(p.dismissal);
    if (!p.rootViewController) {
      if (completion) completion();
      return;
    }
    pipDismiss(p.rootViewController, false, [completion = std::move(completion)] {
      reset();
      if (completion) completion();
    });
    return;
  }
  // A second animated dismissal while one fades joins it: one fade, both completions.
  if (p.dismissalPending) {
    p.pendingDismissalCompletion = [first = std::move(p.pendingDismissalCompletion),
                                    second = std::move(completion)] {
      if (first) first();
      if (second) second();
    };
    return;
  }
  const auto dismissal = ++p.dismissal;
  p.dismissalPending = true;
  p.pendingDismissalCompletion = std::move(completion);
  pipDismiss(p.rootViewController, true, [dismissal] { finishDismissal(dismissal); });
}

void PIPManager::finishDismissal(std::uint64_t dismissal) {
  auto& p = presentation();
  if (!p.dismissalPending || dismissal != p.dismissal) return;
  p.dismissalPending = false;
  if (p.rootViewController) p.rootViewController->view()->removeFromSuperview();
  reset();
  if (auto completion = std::exchange(p.pendingDismissalCompletion, nullptr)) completion();
}

void PIPManager::toggle(std::optional<bool> visible) {
  const auto& controller = presentation().rootViewController;
  const bool wanted = visible.value_or(!controller || controller->view()->isHidden());
  if (controller) controller->view()->setHidden(!wanted);
  if (wanted) showIfNeeds();
}

void PIPManager::showIfNeeds() {
  auto controller = presentation().rootViewController;
  if (!controller || controller->view()->isHidden()) return;
  showController(std::move(controller), nullptr);
}

void PIPManager::startPIPMode() {
  auto& p = presentation();
  if (!p.rootViewController || p.dismissalPending) return;
  setState(_PIPState::pip);
  if (auto dispatcher = pipEventDispatcher(*p.rootViewController)) dispatcher->enterPIP();
}

void PIPManager::stopPIPMode() {
  auto& p = presentation();
  if (!p.rootViewController || p.dismissalPending) return;
  setState(_PIPState::full);
  if (auto dispatcher = pipEventDispatcher(*p.rootViewController)) dispatcher->enterFullScreen();
}

void PIPManager::addCloseButton() {
  const auto& controller = presentation().rootViewController;
  if (!controller) return;
  const auto& view = controller->view();
  if (view->viewWithTag(closeButtonTag)) return;

  auto button = platform::View::make<platform::Button>(platform::Rect{});
  button->setTag(closeButtonTag);
  button->setTranslatesAutoresizingMaskIntoConstraints(false);
  button->widthAnchor().constraintEqualToConstant(kCloseButtonSide)->setActive(true);
  button->heightAnchor().constraintEqualToConstant(kCloseButtonSide)->setActive(true);
  button->setBackgroundColor(brelum::color(115, 115, 117, 255));
  button->layer()->setCornerRadius(kCloseButtonSide / 2);
  button->layer()->setMasksToBounds(true);
  button->setImageEdgeInsets({6, 6, 6, 6});
  BrelumCore_BrelumCoreSDK_resources();  // the glyph is an embedded resource of the framework
  auto glyph = platform::Image::named("pip_close", *platform::Bundle::framework());
  button->setImage(
      glyph ? glyph->withRenderingMode(platform::Image::RenderingMode::alwaysTemplate) : nullptr,
      platform::ControlState::normal);
  button->setTintColor(platform::Color::white());
  view->addSubview(button);
  button->rightAnchor().constraintEqualTo(view->rightAnchor(), -kCloseButtonInset)->setActive(true);
  button->topAnchor().constraintEqualTo(view->topAnchor(), kCloseButtonInset)->setActive(true);
  button->addAction(&PIPManager::closeButtonTapped, platform::ControlEvents::touchUpInside);
}

void PIPManager::removeCloseButton() {
  const auto& controller = presentation().rootViewController;
  if (!controller) return;
  if (auto button = controller->view()->viewWithTag(closeButtonTag)) button->removeFromSuperview();
}

void PIPManager::reset() {
  // The state first, so that restyling still finds the outgoing controller.
  setState(_PIPState::inactive);
  presentation().rootViewController = nullptr;
}

void PIPManager::closeButtonTapped() {
  // A copy: the handler may replace itself.
  if (auto handler = presentation().onClosePipTapped) handler();
}

void startPIPMode(platform::ViewController&) {
  PIPManager::startPIPMode();
}

void stopPIPMode(platform::ViewController&) {
  PIPManager::stopPIPMode();
}

void setNeedUpdatePIPSize(platform::ViewController& controller) {
  if (!PIPManager::isPIP()) return;
  if (auto dispatcher = pipEventDispatcher(controller)) dispatcher->updateFrame();
}

void pipDismiss(const std::shared_ptr<platform::ViewController>& controller, bool animated,
                std::function<void()> completion) {
  if (!animated) {
    controller->view()->removeFromSuperview();
    if (completion) completion();
    return;
  }
  std::weak_ptr<platform::ViewController> weak = controller;
  platform::View::animate(
      kFadeOutDuration,
      [weak] {
        if (auto shown = weak.lock()) shown->view()->setAlpha(0);
      },
      [weak, completion = std::move(completion)](bool) {
        // Shown again meanwhile (its alpha brought back): the view stays.
        if (auto shown = weak.lock(); shown && shown->view()->alpha() == 0) {
          shown->view()->removeFromSuperview();
        }
        if (completion) completion();
      });
}

std::shared_ptr<platform::Window> keyWindow() {
  return platform::Application::shared().keyWindow();
}

}  // namespace brelum
