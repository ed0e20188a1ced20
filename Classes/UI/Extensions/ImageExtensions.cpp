#include "Classes/UI/Extensions/ImageExtensions.h"

#include "Platform/Graphics/ImageContext.h"

namespace brelum {

std::shared_ptr<platform::Image> circle(double diameter, const platform::Color& color) {
  platform::ImageContext context({diameter, diameter}, false, 0);
  context.saveState();
  context.setFillColor(color);
  context.fillEllipse({0, 0, diameter, diameter});
  context.restoreState();
  // TODO(#13): an empty image of size zero in place of null, once Image can make one.
  return context.makeImage();
}

}  // namespace brelum
