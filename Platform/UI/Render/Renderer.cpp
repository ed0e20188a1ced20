#include "Platform/UI/Render/Renderer.h"

#include <cmath>
#include <utility>

#include "Platform/UI/Render/DisplayList.h"
#include "Platform/UI/Render/ImageSurfaceCache.h"
#include "Platform/UI/Window.h"

namespace platform {
namespace {

// A window larger than any display is drawn cropped to this many pixels a side (its top
// left part): 256 MB of pixels at most, where its own size could ask for more than memory.
constexpr double kMaximumSide = 8192;

int pixelSide(double points, double scale) {
  double pixels = std::ceil(points * scale);
  if (!std::isfinite(pixels) || pixels < 1) return 0;
  return static_cast<int>(std::min(pixels, kMaximumSide));
}

std::uint8_t unpremultiply(std::uint32_t channel, std::uint32_t alpha) {
  return static_cast<std::uint8_t>(
      std::min<std::uint32_t>(255, (channel * 255 + alpha / 2) / alpha));
}

}  // namespace

Renderer::Renderer()
    : surface_(nullptr, &cairo_surface_destroy),
      previous_(std::make_unique<detail::DisplayList>()),
      images_(std::make_unique<detail::ImageSurfaceCache>()) {
}

Renderer::~Renderer() = default;

bool Renderer::prepareSurface(int width, int height, double scale) {
  if (surface_ && width == width_ && height == height_ && scale == scale_) return true;
  surface_.reset();
  width_ = height_ = 0;
  scale_ = scale;
  *previous_ = {};
  fullRedraw_ = true;
  if (width == 0 || height == 0) return false;
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height), &cairo_surface_destroy);
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;
  surface_ = std::move(surface);
  width_ = width;
  height_ = height;
  return true;
}

const std::vector<Renderer::PixelRect>& Renderer::render(Window& window,
                                                         View::Clock::time_point at) {
  redrawn_.clear();
  window.layoutIfNeeded();
  const double scale = window.screenScale();
  const auto size = window.bounds().size;
  if (!prepareSurface(pixelSide(size.width, scale), pixelSide(size.height, scale), scale)) {
    return redrawn_;
  }
  auto list = detail::DisplayList::build(window, at, scale);
  cairo_rectangle_int_t whole{0, 0, width_, height_};
  std::unique_ptr<cairo_region_t, decltype(&cairo_region_destroy)> damage(cairo_region_create(),
                                                                          &cairo_region_destroy);
  if (std::exchange(fullRedraw_, false)) {
    cairo_region_union_rectangle(damage.get(), &whole);
  } else {
    list.addDamage(*previous_, damage.get());
    cairo_region_intersect_rectangle(damage.get(), &whole);
  }

  if (!cairo_region_is_empty(damage.get())) {
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(surface_.get()),
                                                               &cairo_destroy);
    for (int i = 0; i < cairo_region_num_rectangles(damage.get()); ++i) {
      cairo_rectangle_int_t rect;
      cairo_region_get_rectangle(damage.get(), i, &rect);
      cairo_rectangle(context.get(), rect.x, rect.y, rect.width, rect.height);
      redrawn_.push_back({rect.x, rect.y, rect.width, rect.height});
    }
    cairo_clip(context.get());
    cairo_set_operator(context.get(), CAIRO_OPERATOR_CLEAR);
    cairo_paint(context.get());
    cairo_set_operator(context.get(), CAIRO_OPERATOR_OVER);
    cairo_scale(context.get(), scale, scale);
    list.draw(context.get(), damage.get(), *images_);
    context.reset();  // drawing is over before the surface is flushed
    cairo_surface_flush(surface_.get());
  }
  *previous_ = std::move(list);
  images_->sweep();
  return redrawn_;
}

int Renderer::bytesPerRow() const noexcept {
  return surface_ ? cairo_image_surface_get_stride(surface_.get()) : 0;
}

std::span<const std::uint8_t> Renderer::pixels() const noexcept {
  if (!surface_) return {};
  return {cairo_image_surface_get_data(surface_.get()),
          static_cast<std::size_t>(bytesPerRow()) * static_cast<std::size_t>(height_)};
}

std::shared_ptr<Image> Renderer::image() const {
  if (!surface_) return nullptr;
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width_) * height_ * 4);
  const auto source = pixels();
  auto* out = rgba.data();
  for (int y = 0; y < height_; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(source.data() + y * bytesPerRow());
    for (int x = 0; x < width_; ++x, out += 4) {
      const std::uint32_t pixel = row[x];
      const std::uint32_t alpha = pixel >> 24;
      out[3] = static_cast<std::uint8_t>(alpha);
      if (alpha == 0) continue;  // transparent black
      out[0] = unpremultiply(pixel >> 16 & 0xff, alpha);
      out[1] = unpremultiply(pixel >> 8 & 0xff, alpha);
      out[2] = unpremultiply(pixel & 0xff, alpha);
    }
  }
  return Image::make(width_, height_, std::move(rgba), scale_);
}

}  // namespace platform
