#include "Platform/UI/Render/ImageSurfaceCache.h"

#include <utility>

namespace platform::detail {
namespace {

std::uint32_t premultiply(std::uint32_t channel, std::uint32_t alpha) {
  return (channel * alpha + 127) / 255;
}

cairo_surface_t* makeSurface(const Image& image) {
  auto* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width(), image.height());
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  auto* data = cairo_image_surface_get_data(surface);
  const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface));
  const auto source = image.pixels();
  const auto width = static_cast<std::size_t>(image.width());
  for (std::size_t y = 0; y < static_cast<std::size_t>(image.height()); ++y) {
    // Cairo's ARGB32 is one native-endian word per pixel.
    auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
    const auto* in = source.data() + y * width * 4;
    for (std::size_t x = 0; x < width; ++x, in += 4) {
      std::uint32_t alpha = in[3];
      row[x] = alpha << 24 | premultiply(in[0], alpha) << 16 | premultiply(in[1], alpha) << 8 |
               premultiply(in[2], alpha);
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

}  // namespace

ImageSurfaceCache::~ImageSurfaceCache() {
  for (auto& [key, entry] : entries_) cairo_surface_destroy(entry.surface);
}

cairo_surface_t* ImageSurfaceCache::surface(const std::shared_ptr<const Image>& image) {
  if (!image) return nullptr;
  auto [found, added] = entries_.try_emplace(image->pixels().data());
  auto& entry = found->second;
  entry.used = true;
  if (added) {
    entry.image = image;
    entry.surface = makeSurface(*image);
  }
  return entry.surface;
}

void ImageSurfaceCache::sweep() {
  for (auto it = entries_.begin(); it != entries_.end();) {
    auto& entry = it->second;
    if (std::exchange(entry.used, false)) {
      ++it;
      continue;
    }
    cairo_surface_destroy(entry.surface);
    it = entries_.erase(it);
  }
}

}  // namespace platform::detail
