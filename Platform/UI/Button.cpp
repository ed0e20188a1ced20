#include "Platform/UI/Button.h"

#include <utility>

#include "Platform/UI/ImageView.h"
#include "Platform/UI/NibCoder.h"

namespace platform {

Button::Button(ButtonType type) : type_(type) {
  installImageView();
}

Button::Button(const NibCoder& coder) : Control(coder) {
  if (coder.decodeInteger("buttonType") == std::int64_t(ButtonType::system)) {
    type_ = ButtonType::system;
  }
  installImageView();
  if (auto image = coder.decodeImage("image")) setImage(std::move(image), ControlState::normal);
}

void Button::installImageView() {
  imageView_ = std::make_shared<ImageView>();
  imageView_->setContentMode(ContentMode::scaleAspectFit);
  addSubview(imageView_);
}

void Button::setImage(std::shared_ptr<const Image> image, ControlState state) {
  if (image) {
    images_[state] = std::move(image);
  } else {
    images_.erase(state);
  }
  stateDidChange();
}

std::shared_ptr<const Image> Button::image(ControlState state) const {
  auto it = images_.find(state);
  return it == images_.end() ? nullptr : it->second;
}

std::shared_ptr<const Image> Button::currentImage() const {
  if (auto image = this->image(state())) return image;
  return image(ControlState::normal);
}

void Button::setImageEdgeInsets(const EdgeInsets& insets) {
  if (insets == imageEdgeInsets_) return;
  imageEdgeInsets_ = insets;
  setNeedsLayout();
}

void Button::layoutSubviews() {
  Control::layoutSubviews();
  const Rect area = bounds().inset(imageEdgeInsets_);
  imageView_->setFrame(
      {area.origin, Size{std::max(area.size.width, 0.0), std::max(area.size.height, 0.0)}});
}

void Button::stateDidChange() {
  imageView_->setImage(currentImage());
}

}  // namespace platform
