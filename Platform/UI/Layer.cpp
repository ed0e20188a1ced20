#include "Platform/UI/Layer.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "Platform/UI/View.h"
#include "Platform/UI/Window.h"

namespace platform {

std::shared_ptr<Layer> Layer::make() {
  return std::shared_ptr<Layer>(new Layer);
}

Layer::~Layer() {
  for (auto& sublayer : sublayers_) sublayer->superlayer_ = nullptr;
}

void Layer::setCornerRadius(double radius) {
  if (!std::isfinite(radius) || radius < 0) radius = 0;
  if (radius == cornerRadius_) return;
  const double old = std::exchange(cornerRadius_, radius);
  if (view_) view_->recordAnimation(AnimatableProperty::cornerRadius, old, radius);
  setNeedsDisplay();
}

void Layer::setMasksToBounds(bool masks) {
  if (masks == masksToBounds_) return;
  masksToBounds_ = masks;
  setNeedsDisplay();
}

Rect Layer::frame() const {
  return view_ ? view_->frame() : frame_;
}

void Layer::setFrame(const Rect& frame) {
  if (view_) {
    view_->setFrame(frame);
    return;
  }
  if (!frame.isFinite()) return;
  const Rect standardized = frame.standardized();
  if (standardized == frame_) return;
  frame_ = standardized;
  setNeedsDisplay();
}

Rect Layer::bounds() const {
  const Rect f = frame();
  return {0, 0, f.size.width, f.size.height};
}

void Layer::addSublayer(const std::shared_ptr<Layer>& layer) {
  if (!layer || layer->view_) return;
  for (const Layer* ancestor = this; ancestor; ancestor = ancestor->superlayer_) {
    if (ancestor == layer.get()) return;
  }
  auto keep = layer;  // removing from the old superlayer may drop its last owner
  keep->removeFromSuperlayer();
  keep->superlayer_ = this;
  sublayers_.push_back(std::move(keep));
  setNeedsDisplay();
}

void Layer::removeFromSuperlayer() {
  Layer* superlayer = std::exchange(superlayer_, nullptr);
  if (!superlayer) return;
  superlayer->setNeedsDisplay();
  auto& siblings = superlayer->sublayers_;
  auto it = std::ranges::find(siblings, this, &std::shared_ptr<Layer>::get);
  if (it == siblings.end()) return;
  auto self = std::move(*it);  // released last, after the list no longer holds it
  siblings.erase(it);
}

std::shared_ptr<Layer> Layer::superlayer() const {
  return superlayer_ ? std::static_pointer_cast<Layer>(superlayer_->shared_from_this()) : nullptr;
}

std::shared_ptr<View> Layer::view() const {
  return view_ ? std::static_pointer_cast<View>(view_->shared_from_this()) : nullptr;
}

void Layer::setContents(std::shared_ptr<const Image> contents) {
  if (contents == contents_) return;
  contents_ = std::move(contents);
  setNeedsDisplay();
}

void Layer::setContentsGravity(ContentsGravity gravity) {
  if (gravity == contentsGravity_) return;
  contentsGravity_ = gravity;
  setNeedsDisplay();
}

const Layer* Layer::rootLayer() const {
  const Layer* layer = this;
  while (layer->superlayer_) layer = layer->superlayer_;
  return layer;
}

std::shared_ptr<Window> Layer::window() const {
  const View* view = rootLayer()->view_;
  return view ? view->window() : nullptr;
}

void Layer::setNeedsDisplay() const {
  if (const View* view = rootLayer()->view_) view->setNeedsDisplay();
}

}  // namespace platform
