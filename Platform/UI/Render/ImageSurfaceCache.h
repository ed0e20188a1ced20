#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "Platform/Graphics/Image.h"

namespace platform::detail {

// Cairo surfaces for the images a renderer draws. Cairo draws premultiplied pixels, so an
// image of straight RGBA is converted once and kept while frames keep drawing it (a video
// picture, already in Cairo's layout, is drawn from its own memory): sweep() after a frame lets go
// of every surface that frame did not ask for. Images that share pixels (the same image in another
// rendering mode) share one surface.
//
// Main thread only, like the renderer that owns it.
class ImageSurfaceCache {
 public:
  ImageSurfaceCache() = default;
  ~ImageSurfaceCache();
  ImageSurfaceCache(const ImageSurfaceCache&) = delete;
  ImageSurfaceCache& operator=(const ImageSurfaceCache&) = delete;

  // The surface for `image`, valid until the next sweep(); null when Cairo cannot make one
  // (memory running out).
  [[nodiscard]] cairo_surface_t* surface(const std::shared_ptr<const Image>& image);

  // Drops the surfaces not asked for since the last sweep.
  void sweep();

 private:
  struct Entry {
    std::shared_ptr<const Image> image;  // keeps the pixels, and so the key, alive
    cairo_surface_t* surface = nullptr;
    bool used = true;
  };

  std::unordered_map<const std::uint8_t*, Entry> entries_;
};

}  // namespace platform::detail
