#pragma once

#include <map>
#include <memory>

#include "Platform/Graphics/Image.h"
#include "Platform/UI/Control.h"

namespace platform {

class ImageView;
class NibCoder;

// A control showing an image per control state. Its image view fills the bounds less the
// image edge insets and fits the current image inside, aspect kept; a template image takes
// the button's tint colour.
class Button : public Control {
 public:
  enum class ButtonType { custom, system };

  explicit Button(ButtonType type = ButtonType::custom);
  // Reads, beyond a view's keys, "buttonType" (a ButtonType as an integer) and "image" (a PNG
  // resource of the nib's bundle, shown in the normal state).
  explicit Button(const NibCoder& coder);

  [[nodiscard]] ButtonType buttonType() const noexcept { return type_; }

  // The image for `state`; null clears it (the normal image shows in its place).
  void setImage(std::shared_ptr<const Image> image, ControlState state);
  [[nodiscard]] std::shared_ptr<const Image> image(ControlState state) const;
  // The image for the current state, else the normal one.
  [[nodiscard]] std::shared_ptr<const Image> currentImage() const;

  [[nodiscard]] const EdgeInsets& imageEdgeInsets() const noexcept { return imageEdgeInsets_; }
  void setImageEdgeInsets(const EdgeInsets& insets);

  [[nodiscard]] const std::shared_ptr<ImageView>& imageView() const noexcept { return imageView_; }

  void layoutSubviews() override;

 protected:
  void stateDidChange() override;

 private:
  void installImageView();

  ButtonType type_ = ButtonType::custom;
  std::map<ControlState, std::shared_ptr<const Image>> images_;
  EdgeInsets imageEdgeInsets_;
  std::shared_ptr<ImageView> imageView_;
};

}  // namespace platform
