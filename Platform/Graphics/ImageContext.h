#pragma once

#include <memory>

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/Graphics/Image.h"

namespace platform {

// An offscreen drawing surface of `size` points at `scale` pixels per point, yielding an
// image. Colours are clamped to 0...1 when drawn. A size that is empty, negative, not finite
// or larger than an image may be gives a context that draws nothing and makes no image.
//
// One context belongs to one thread at a time.
class ImageContext {
 public:
  // `scale` 0 (or anything below 1) means the main screen's scale. An opaque context starts
  // black and makes images without transparency; another starts transparent.
  ImageContext(Size size, bool opaque, double scale);
  ~ImageContext();
  ImageContext(const ImageContext&) = delete;
  ImageContext& operator=(const ImageContext&) = delete;

  [[nodiscard]] bool isValid() const noexcept { return state_ != nullptr; }

  void setFillColor(const Color& color);
  void fillRect(const Rect& rect);
  void fillEllipse(const Rect& rect);
  void saveState();
  void restoreState();

  // What has been drawn so far, or null when the context is not valid.
  [[nodiscard]] std::shared_ptr<Image> makeImage() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
