#pragma once

#include <memory>

#include "Platform/Graphics/Image.h"
#include "Platform/UI/View.h"

namespace platform {

class NibCoder;

// How a view's content fits its bounds.
enum class ContentMode { scaleToFill, scaleAspectFit, scaleAspectFill, center };

// Shows an image in its bounds by its content mode: the image and its placement are its
// layer's contents, so it draws as any layer does (an image whose rendering mode is
// alwaysTemplate shows only its shape, filled with the view's tintColor()). Touches go
// through it to the view behind unless user interaction is enabled on it.
class ImageView : public View {
 public:
  ImageView();
  // Reads, beyond a view's keys, "contentMode" (a ContentMode as an integer) and "image" (a
  // PNG resource of the nib's bundle).
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
  // Hands the image and its placement to the layer, which is what the renderer reads.
  void updateLayerContents();

  std::shared_ptr<const Image> image_;
  ContentMode contentMode_ = ContentMode::scaleToFill;
};

}  // namespace platform
