#include "Platform/UI/ImageView.h"

#include <utility>

#include "Platform/UI/NibCoder.h"

namespace platform {

ImageView::ImageView() {
  setUserInteractionEnabled(false);
}

ImageView::ImageView(const NibCoder& coder) : View(coder) {
  if (!coder.decodeBool("userInteractionEnabled")) setUserInteractionEnabled(false);
  if (auto mode = coder.decodeInteger("contentMode");
      mode && *mode >= 0 && *mode <= std::int64_t(ContentMode::center)) {
    contentMode_ = ContentMode(*mode);
  }
}

void ImageView::setImage(std::shared_ptr<const Image> image) {
  if (image == image_) return;
  image_ = std::move(image);
  setNeedsDisplay();
}

void ImageView::setContentMode(ContentMode mode) {
  if (mode == contentMode_) return;
  contentMode_ = mode;
  setNeedsDisplay();
}

}  // namespace platform
