#pragma once

#include <memory>

#include "Platform/Graphics/Image.h"
#include "Platform/UI/View.h"

namespace platform {

class NibCoder;

// How a view's content fits its bounds.
enum class ContentMode { scaleToFill, scaleAspectFit, scaleAspectFill, center };

// Shows an image in its bounds by its content mode. An image whose rendering mode is
// alwaysTemplate shows only its shape, filled with the view's tintColor(). Touches go
// through it to the view behind unless user interaction is enabled on it.
class ImageView : public View {
 public:
  ImageView();
  explicit ImageView(const NibCoder& coder);

  [[nodiscard]] const std::shared_ptr<const Image>& image() const noexcept { return image_; }
  void setImage(std::shared_ptr<const Image> image);

  [[nodiscard]] ContentMode contentMode() const noexcept { return contentMode_; }
  void setContentMode(ContentMode mode);

  // Whether the image draws as a template (in the tint colour).
  [[nodiscard]] bool drawsAsTemplate() const noexcept {
    return image_ && image_->renderingMode() == Image::RenderingMode::alwaysTemplate;
  }

 private:
  std::shared_ptr<const Image> image_;
  ContentMode contentMode_ = ContentMode::scaleToFill;
};

}  // namespace platform
