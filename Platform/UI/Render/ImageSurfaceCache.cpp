#include "Platform/UI/Render/ImageSurfaceCache.h"

#include <bit>
#include <limits>
#include <utility>

#include "Platform/Graphics/CairoPixel.h"

namespace platform::detail {
namespace {

const cairo_user_data_key_t kPixelOwner{};

// A picture already in Cairo's RGB24 layout is drawn from its own memory; the surface keeps
// the image, and so its pixels, for as long as Cairo keeps the surface.
cairo_surface_t* wrapSurface(const std::shared_ptr<const Image>& image) {
  auto* surface = cairo_image_surface_create_for_data(
      const_cast<unsigned char*>(image->pixels().data()), CAIRO_FORMAT_RGB24, image->width(),
      image->height(), static_cast<int>(image->bytesPerRow()));
  auto* owner = new std::shared_ptr<const Image>(image);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
      cairo_surface_set_user_data(surface, &kPixelOwner, owner, [](void* data) {
        delete static_cast<std::shared_ptr<const Image>*>(data);
      }) != CAIRO_STATUS_SUCCESS) {
    delete owner;
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return surface;
}

cairo_surface_t* convertSurface(const Image& image) {
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
    auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
    const auto* in = source.data() + y * image.bytesPerRow();
    for (std::size_t x = 0; x < width; ++x) row[x] = cairoARGB(in + x * 4, image.pixelFormat());
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

cairo_surface_t* makeSurface(const std::shared_ptr<const Image>& image) {
  const bool cairoLayout =
      std::endian::native == std::endian::little &&
      image->pixelFormat() == Image::PixelFormat::bgrx && image->bytesPerRow() % 4 == 0 &&
      image->bytesPerRow() <= static_cast<std::size_t>(std::numeric_limits<int>::max());
  return cairoLayout ? wrapSurface(image) : convertSurface(*image);
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
    entry.surface = makeSurface(image);
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
