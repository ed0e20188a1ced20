#include "Platform/UI/ViewController.h"

#include <utility>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/UI/NibCoder.h"
#include "Platform/UI/View.h"
#include "Platform/UI/Window.h"

namespace platform {
namespace {

void complete(std::function<void()> completion) {
  if (completion) DispatchQueue::main()->async(std::move(completion));
}

}  // namespace

ViewController::ViewController() = default;

ViewController::ViewController(std::optional<std::string> nibName, std::shared_ptr<Bundle> bundle)
    : nibName_(std::move(nibName)), nibBundle_(std::move(bundle)) {
}

ViewController::ViewController(const NibCoder& coder) : nibName_(coder.decodeString("nibName")) {
}

ViewController::~ViewController() = default;

const std::shared_ptr<View>& ViewController::view() {
  // loadView or viewDidLoad reading view() again must not load a second time.
  if (!view_ && !loading_) {
    loading_ = true;
    loadView();
    if (!view_) view_ = View::make();
    loading_ = false;
    viewDidLoad();
  }
  return view_;
}

void ViewController::setView(std::shared_ptr<View> view) {
  view_ = std::move(view);
}

void ViewController::loadView() {
  setView(View::make());
}

void ViewController::present(const std::shared_ptr<ViewController>& controller, bool,
                             std::function<void()> completion) {
  if (!controller || controller.get() == this || presented_ || !controller->presenting_.expired()) {
    return;
  }
  presented_ = controller;
  controller->presenting_ = std::static_pointer_cast<ViewController>(shared_from_this());
  if (auto window = view()->window()) {
    const auto& shown = controller->view();
    shown->setFrame(window->bounds());
    window->addSubview(shown);
  }
  complete(std::move(completion));
}

void ViewController::dismiss(bool animated, std::function<void()> completion) {
  if (!presented_) {
    if (auto presenter = presenting_.lock()) presenter->dismiss(animated, std::move(completion));
    return;
  }
  auto controller = std::exchange(presented_, nullptr);
  // What the dismissed controller presents goes with it.
  if (controller->presented_) controller->dismiss(false);
  controller->presenting_.reset();
  if (controller->isViewLoaded()) controller->view()->removeFromSuperview();
  complete(std::move(completion));
}

}  // namespace platform
