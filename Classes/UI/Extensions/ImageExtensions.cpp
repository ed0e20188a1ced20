#include "Classes/UI/Extensions/ImageExtensions.h"

#include "Platform/Graphics/ImageContext.h"

namespace brelum {

std::shared_ptr<platform::Image> circle(double diameter, const platform::Color& color) {
  platform::ImageContext context({diameter, diameter}, false, 0);
  context.saveState();
  context.setFillColor(color);
  context.fillEllipse({0, 0, diameter, diameter});
  context.restoreState();
  // A diameter that gives no drawing context (zero, negative, not finite) still answers an
  // image: an empty one.
  if (auto image = context.makeImage()) return image;
  return platform::Image::empty();
}

}  // namespace brelum
