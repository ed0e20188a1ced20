#include "Platform/Graphics/ImageContext.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <cairo.h>

#include "Platform/Graphics/Screen.h"

namespace platform {
namespace {

// The side beyond which neither Cairo nor the image type will go.
constexpr double kMaximumPixelSide = 16384;

double clamped(double component) {
  return std::isnan(component) ? 0 : std::clamp(component, 0.0, 1.0);
}

}  // namespace

struct ImageContext::State {
  int width;
  int height;
  double scale;
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface;
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cairo;
};

ImageContext::ImageContext(Size size, bool opaque, double scale) {
  if (!(std::isfinite(scale) && scale >= 1)) scale = Screen::main().scale();
  if (!size.isFinite() || size.width <= 0 || size.height <= 0) return;
  const double width = std::ceil(size.width * scale);
  const double height = std::ceil(size.height * scale);
  if (width > kMaximumPixelSide || height > kMaximumPixelSide) return;
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, int(width),
                                 int(height)),
      &cairo_surface_destroy);
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return;
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cairo(cairo_create(surface.get()),
                                                           &cairo_destroy);
  if (cairo_status(cairo.get()) != CAIRO_STATUS_SUCCESS) return;
  cairo_scale(cairo.get(), scale, scale);
  cairo_set_source_rgba(cairo.get(), 0, 0, 0, 1);
  state_.reset(new State{int(width), int(height), scale, std::move(surface), std::move(cairo)});
}

ImageContext::~ImageContext() = default;

void ImageContext::setFillColor(const Color& color) {
  if (!state_) return;
  cairo_set_source_rgba(state_->cairo.get(), clamped(color.red), clamped(color.green),
                        clamped(color.blue), clamped(color.alpha));
}

void ImageContext::fillRect(const Rect& rect) {
  if (!state_ || !rect.isFinite()) return;
  const Rect r = rect.standardized();
  cairo_rectangle(state_->cairo.get(), r.origin.x, r.origin.y, r.size.width, r.size.height);
  cairo_fill(state_->cairo.get());
}

void ImageContext::fillEllipse(const Rect& rect) {
  if (!state_ || !rect.isFinite() || rect.isEmpty()) return;
  const Rect r = rect.standardized();
  cairo_t* cr = state_->cairo.get();
  cairo_save(cr);
  cairo_translate(cr, r.midX(), r.midY());
  cairo_scale(cr, r.size.width / 2, r.size.height / 2);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  cairo_fill(cr);
}

void ImageContext::saveState() {
  if (state_) cairo_save(state_->cairo.get());
}

void ImageContext::restoreState() {
  // Cairo treats an unbalanced restore as an error that stops all later drawing.
  if (state_ && cairo_status(state_->cairo.get()) == CAIRO_STATUS_SUCCESS) {
    cairo_restore(state_->cairo.get());
    if (cairo_status(state_->cairo.get()) != CAIRO_STATUS_SUCCESS) state_.reset();
  }
}

std::shared_ptr<Image> ImageContext::makeImage() const {
  if (!state_) return nullptr;
  cairo_surface_t* surface = state_->surface.get();
  cairo_surface_flush(surface);
  const bool opaque = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_RGB24;
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  std::vector<std::uint8_t> rgba(std::size_t(state_->width) * std::size_t(state_->height) * 4);
  for (int y = 0; y < state_->height; ++y) {
    const auto* row =
        reinterpret_cast<const std::uint32_t*>(data + std::size_t(y) * std::size_t(stride));
    for (int x = 0; x < state_->width; ++x) {
      const std::uint32_t pixel = row[x];
      const unsigned alpha = opaque ? 255 : pixel >> 24;
      auto channel = [&](int shift) -> std::uint8_t {
        const unsigned value = (pixel >> shift) & 0xFF;
        // Cairo keeps colours premultiplied by alpha; images keep them straight.
        return alpha == 0 ? 0 : std::uint8_t(std::min(255u, (value * 255 + alpha / 2) / alpha));
      };
      std::uint8_t* out =
          rgba.data() + (std::size_t(y) * std::size_t(state_->width) + std::size_t(x)) * 4;
      out[0] = channel(16);
      out[1] = channel(8);
      out[2] = channel(0);
      out[3] = std::uint8_t(alpha);
    }
  }
  return Image::make(state_->width, state_->height, std::move(rgba), state_->scale);
}

}  // namespace platform
