#include "Classes/UI/PIP/PIPManagerEventDispatcher.h"

#include <algorithm>
#include <optional>

#include "Classes/UI/PIP/PIPManager.h"
#include "Classes/UI/PIP/PIPUsable.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/PanGestureRecognizer.h"
#include "Platform/UI/View.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"

namespace brelum {

namespace {

constexpr double kMargin = 15;
constexpr double kModeChangeDuration = 0.25;
constexpr double kSnapDuration = 0.15;
constexpr double kRotationDuration = 0.15;

// The association key is this static's address, not its text.
const char* const kPipEventDispatcherKey = "pipEventDispatcher";

}  // namespace

struct PIPManagerEventDispatcher::Scene {
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::ViewController> controller;
  PIPUsable* usable;
  double width, height;  // of the window's frame
  platform::EdgeInsets insets;
  platform::Size size;  // the controller's pipSize, read now

  // A third of the safe height: the band of each row.
  [[nodiscard]] double rowBand() const { return (height - (insets.bottom + insets.top)) / 3.0; }
};

std::optional<PIPManagerEventDispatcher::Scene> PIPManagerEventDispatcher::scene() const {
  auto window = keyWindow();
  auto controller = rootViewController_.lock();
  if (!window || !controller) return std::nullopt;
  auto* usable = asPIPUsable(*controller);
  if (!usable) return std::nullopt;
  const auto frame = window->frame();
  return Scene{window,           controller,     usable,
               frame.width(),    frame.height(), window->safeAreaInsets(),
               usable->pipSize()};
}

std::shared_ptr<PIPManagerEventDispatcher> PIPManagerEventDispatcher::make(
    const std::shared_ptr<platform::ViewController>& controller) {
  std::shared_ptr<PIPManagerEventDispatcher> dispatcher(new PIPManagerEventDispatcher(controller));
  dispatcher->commonInit();
  dispatcher->updateFrame();
  auto* usable = asPIPUsable(*controller);
  if (usable && usable->initialState() == PIPState::full) {
    dispatcher->didEnterFullScreen();
  } else {
    dispatcher->didEnterPIP();
  }
  return dispatcher;
}

PIPManagerEventDispatcher::PIPManagerEventDispatcher(
    const std::shared_ptr<platform::ViewController>& controller)
    : rootViewController_(controller) {
  if (auto* usable = asPIPUsable(*controller)) pipPosition_ = usable->initialPosition();
}

PIPManagerEventDispatcher::~PIPManagerEventDispatcher() {
  if (deviceNotificationObserver_) {
    platform::NotificationCenter::defaultCenter()->removeObserver(deviceNotificationObserver_);
  }
  // The recognizer's target is this dispatcher: left on the view it would only go inert, and
  // a controller shown many times would carry one dead recognizer per showing.
  if (auto controller = rootViewController_.lock();
      controller && controller->isViewLoaded() && transitionGesture_) {
    controller->view()->removeGestureRecognizer(*transitionGesture_);
  }
}

const std::shared_ptr<platform::PanGestureRecognizer>&
PIPManagerEventDispatcher::transitionGesture() {
  if (!transitionGesture_) {
    transitionGesture_ = platform::PanGestureRecognizer::make();
    transitionGesture_->addTarget(shared_from_this(), &PIPManagerEventDispatcher::onTransition);
  }
  return transitionGesture_;
}

void PIPManagerEventDispatcher::commonInit() {
  if (auto controller = rootViewController_.lock()) {
    controller->view()->addGestureRecognizer(transitionGesture());
  }
  deviceNotificationObserver_ = platform::NotificationCenter::defaultCenter()->addObserver(
      std::string(platform::Application::kDeviceOrientationDidChangeNotification), nullptr, nullptr,
      [weak = weak_from_this()](const platform::Notification&) {
        platform::View::animate(kRotationDuration, [weak] {
          if (auto self = weak.lock()) self->updateFrame();
        });
      });
}

void PIPManagerEventDispatcher::animate(double duration, void (PIPManagerEventDispatcher::*step)(),
                                        void (PIPManagerEventDispatcher::*completion)()) {
  std::function<void(bool)> done;
  if (completion) {
    done = [weak = weak_from_this(), completion](bool) {
      if (auto self = weak.lock()) (self.get()->*completion)();
    };
  }
  platform::View::animate(
      duration,
      [weak = weak_from_this(), step] {
        if (auto self = weak.lock()) (self.get()->*step)();
      },
      std::move(done));
}

void PIPManagerEventDispatcher::updateFrame() {
  auto window = keyWindow();
  auto controller = rootViewController_.lock();
  if (!window || !controller) return;
  switch (PIPManager::state()) {
    case _PIPState::pip:
      updatePIPFrame();
      break;
    case _PIPState::full:
      controller->view()->setFrame(window->bounds());
      break;
    case _PIPState::inactive:
    case _PIPState::dismissing:
      break;
  }
  controller->view()->setNeedsLayout();
  controller->view()->layoutIfNeeded();
}

void PIPManagerEventDispatcher::enterPIP() {
  animate(kModeChangeDuration, &PIPManagerEventDispatcher::updateFrame,
          &PIPManagerEventDispatcher::didEnterPIP);
}

void PIPManagerEventDispatcher::enterFullScreen() {
  animate(kModeChangeDuration, &PIPManagerEventDispatcher::updateFrame,
          &PIPManagerEventDispatcher::didEnterFullScreen);
}

void PIPManagerEventDispatcher::didEnterPIP() {
  transitionGesture()->setEnabled(true);
  if (auto controller = rootViewController_.lock()) {
    if (auto* usable = asPIPUsable(*controller)) usable->onStateChanged(PIPState::pip);
  }
}

void PIPManagerEventDispatcher::didEnterFullScreen() {
  transitionGesture()->setEnabled(false);
  if (auto controller = rootViewController_.lock()) {
    if (auto* usable = asPIPUsable(*controller)) usable->onStateChanged(PIPState::full);
  }
}

void PIPManagerEventDispatcher::updatePIPFrame() {
  const auto current = scene();
  if (!current) return;
  const auto& insets = current->insets;
  const auto& size = current->size;
  const double band = current->rowBand();
  const double left = insets.left + kMargin;
  const double right = current->width - insets.right - kMargin - size.width;
  const double top = insets.top + kMargin;
  // Centred vertically in the safe area, computed in this order so the figures match the
  // row bands of the snap rule.
  const double middle = (band + band + insets.top) - 0.5 * (band + size.height);
  const double bottom = current->height - insets.bottom - kMargin - size.height;

  platform::Point origin;
  switch (pipPosition_) {
    case PIPPosition::topLeft:
      origin = {left, top};
      break;
    case PIPPosition::middleLeft:
      origin = {left, middle};
      break;
    case PIPPosition::bottomLeft:
      origin = {left, bottom};
      break;
    case PIPPosition::topRight:
      origin = {right, top};
      break;
    case PIPPosition::middleRight:
      origin = {right, middle};
      break;
    case PIPPosition::bottomRight:
      origin = {right, bottom};
      break;
  }
  current->controller->view()->setFrame({origin, size});
}

void PIPManagerEventDispatcher::updatePIPPosition() {
  const auto current = scene();
  if (!current) return;
  const auto center = current->controller->view()->center();
  const double band = current->rowBand();
  enum class Row { top, middle, bottom };
  // A centre exactly on a band's edge belongs to the middle row.
  const Row row = center.y < current->insets.top + band                        ? Row::top
                  : center.y > current->height - current->insets.bottom - band ? Row::bottom
                                                                               : Row::middle;
  // The side insets play no part: exactly half way belongs to the right column.
  const bool leftColumn = current->width * 0.5 > center.x;
  switch (row) {
    case Row::top:
      pipPosition_ = leftColumn ? PIPPosition::topLeft : PIPPosition::topRight;
      break;
    case Row::middle:
      pipPosition_ = leftColumn ? PIPPosition::middleLeft : PIPPosition::middleRight;
      break;
    case Row::bottom:
      pipPosition_ = leftColumn ? PIPPosition::bottomLeft : PIPPosition::bottomRight;
      break;
  }
}

void PIPManagerEventDispatcher::onTransition(platform::PanGestureRecognizer& recognizer) {
  if (!PIPManager::isPIP()) return;
  const auto current = scene();
  if (!current) return;
  const auto& view = current->controller->view();
  using State = platform::GestureRecognizer::State;
  switch (recognizer.state()) {
    case State::began:
      startOffset_ = view->center();
      break;
    case State::changed: {
      const auto translation = recognizer.translation(current->window.get());
      const platform::Point dragged{startOffset_.x + translation.x, startOffset_.y + translation.y};
      const auto& insets = current->insets;
      const auto& size = current->size;
      // Each bound is the centre of a snap frame on that side; when the window is too small
      // for the floating window and its margins, the lower bound wins.
      const double centerX =
          std::max(insets.left + kMargin + size.width / 2,
                   std::min(current->width - insets.right - kMargin - size.width / 2, dragged.x));
      const double centerY = std::max(
          insets.top + kMargin + size.height / 2,
          std::min(current->height - insets.bottom - kMargin - size.height / 2, dragged.y));
      view->setCenter({centerX, centerY});
      break;
    }
    case State::ended:
      updatePIPPosition();
      animate(kSnapDuration, &PIPManagerEventDispatcher::updatePIPFrame);
      break;
    case State::possible:
    case State::cancelled:
    case State::failed:
      break;
  }
}

std::shared_ptr<PIPManagerEventDispatcher> pipEventDispatcher(
    const platform::ViewController& controller) {
  return controller.associatedObject<PIPManagerEventDispatcher>(&kPipEventDispatcherKey);
}

void setPipEventDispatcher(platform::ViewController& controller,
                           std::shared_ptr<PIPManagerEventDispatcher> dispatcher) {
  controller.setAssociatedObject(&kPipEventDispatcherKey, std::move(dispatcher));
}

void setupEventDispatcher(const std::shared_ptr<platform::ViewController>& controller) {
  if (!controller || !asPIPUsable(*controller)) return;
  setPipEventDispatcher(*controller, PIPManagerEventDispatcher::make(controller));
}

}  // namespace brelum
