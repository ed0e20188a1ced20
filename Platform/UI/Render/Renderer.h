#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Platform/Graphics/Image.h"
#include "Platform/UI/View.h"

// Cairo stays out of this header: tests and benchmarks include it.
struct _cairo_surface;

namespace platform {

class Window;

namespace detail {
class DisplayList;
class ImageSurfaceCache;
}  // namespace detail

// Draws a window's view tree with Cairo into pixels of its own, at the window's screen scale:
// background colours, alpha (a translucent view with subviews fading as one picture),
// hidden views left out, corner radii with and without clipping, layer contents by their
// gravity (template images in the tint colour), every value as presented at the moment
// asked for. Each call redraws only what changed since the previous one: the two frames'
// display lists are compared, and drawing is clipped to the difference.
//
// The pixels are Cairo's ARGB32: premultiplied, one native-endian word per pixel. Where
// nothing is drawn they stay transparent.
//
// Main thread only, like the tree it reads.
class Renderer {
 public:
  struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
  };

  Renderer();
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Lays `window` out, then brings the pixels up to date with it as shown at `at`: all of
  // them the first time and after the window's size or scale changed, what changed
  // otherwise. Answers the rectangles redrawn (none when nothing changed).
  const std::vector<PixelRect>& render(Window& window,
                                       View::Clock::time_point at = View::Clock::now());

  // What the last render() redrew.
  [[nodiscard]] const std::vector<PixelRect>& lastRedrawn() const noexcept { return redrawn_; }

  // The next render() draws everything.
  void invalidate() noexcept { fullRedraw_ = true; }

  [[nodiscard]] int pixelWidth() const noexcept { return width_; }
  [[nodiscard]] int pixelHeight() const noexcept { return height_; }
  [[nodiscard]] double scale() const noexcept { return scale_; }
  [[nodiscard]] int bytesPerRow() const noexcept;
  // Valid until the next render(); empty before the first or for an empty window.
  [[nodiscard]] std::span<const std::uint8_t> pixels() const noexcept;

  // The pixels as an image (straight RGBA, at the window's scale); null before the first
  // render() or for an empty window.
  [[nodiscard]] std::shared_ptr<Image> image() const;

 private:
  bool prepareSurface(int width, int height, double scale);

  // Frees with cairo_surface_destroy, given by the constructor.
  std::unique_ptr<_cairo_surface, void (*)(_cairo_surface*)> surface_;
  int width_ = 0;
  int height_ = 0;
  double scale_ = 1;
  bool fullRedraw_ = true;
  std::unique_ptr<detail::DisplayList> previous_;
  std::unique_ptr<detail::ImageSurfaceCache> images_;
  std::vector<PixelRect> redrawn_;
};

}  // namespace platform
