#include "Platform/UI/ImageView.h"

#include <utility>

#include "Platform/UI/Layer.h"
#include "Platform/UI/NibCoder.h"

namespace platform {
namespace {

Layer::ContentsGravity gravityOf(ContentMode mode) {
  switch (mode) {
    case ContentMode::scaleAspectFit:
      return Layer::ContentsGravity::resizeAspect;
    case ContentMode::scaleAspectFill:
      return Layer::ContentsGravity::resizeAspectFill;
    case ContentMode::center:
      return Layer::ContentsGravity::center;
    case ContentMode::scaleToFill:
      break;
  }
  return Layer::ContentsGravity::resize;
}

}  // namespace

ImageView::ImageView() {
  setUserInteractionEnabled(false);
}

ImageView::ImageView(const NibCoder& coder) : View(coder), image_(coder.decodeImage("image")) {
  if (!coder.decodeBool("userInteractionEnabled")) setUserInteractionEnabled(false);
  if (auto mode = coder.decodeInteger("contentMode");
      mode && *mode >= 0 && *mode <= std::int64_t(ContentMode::center)) {
    contentMode_ = ContentMode(*mode);
  }
  updateLayerContents();
}

void ImageView::setImage(std::shared_ptr<const Image> image) {
  if (image == image_) return;
  image_ = std::move(image);
  updateLayerContents();
}

void ImageView::setContentMode(ContentMode mode) {
  if (mode == contentMode_) return;
  contentMode_ = mode;
  updateLayerContents();
}

void ImageView::updateLayerContents() {
  layer()->setContents(image_);
  layer()->setContentsGravity(gravityOf(contentMode_));
}

}  // namespace platform
