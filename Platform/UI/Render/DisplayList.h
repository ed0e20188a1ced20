#pragma once

#include <cairo.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/View.h"

namespace platform {
class Layer;
class Window;
}  // namespace platform

namespace platform::detail {

class ImageSurfaceCache;

// What one frame of a window shows, flattened: a node per visible view and sublayer in the
// order they are drawn (a view, its sublayers, then its subviews), each with the values
// drawing reads taken at one moment (presentation values while animations run) and placed
// in window coordinates. Comparing a frame's list with the previous one gives the pixels
// that changed; drawing a list redraws only those.
//
// Main thread only: building reads the view tree.
class DisplayList {
 public:
  // Device pixels: `scale` per point.
  [[nodiscard]] static DisplayList build(const Window& window, View::Clock::time_point at,
                                         double scale);

  // Adds to `damage` the device pixels that differ between `previous` and this list: where
  // a node appeared, went, moved or changed its look, old place and new.
  void addDamage(const DisplayList& previous, cairo_region_t* damage) const;

  // Draws the nodes that touch `damage` into `context`, which is clipped to it and has its
  // pixels cleared there.
  void draw(cairo_t* context, const cairo_region_t* damage, ImageSurfaceCache& images) const;

 private:
  struct Node {
    const void* identity = nullptr;     // the View or Layer drawn
    const void* predecessor = nullptr;  // what was drawn just before: a change of order shows
    std::size_t end = 0;                // one past the last node of this node's subtree
    Rect frame;                         // window coordinates, in points
    Rect clip;                          // what the masking ancestors leave visible
    double alpha = 1;
    double opacity = 1;  // the product of the alphas from the window down
    std::optional<Color> background;
    double cornerRadius = 0;
    bool masks = false;
    bool group = false;  // composited as one picture: translucent, with content above it
    std::shared_ptr<const Image> image;
    Rect imageRect;
    std::optional<Color> tint;              // set for a template image
    cairo_rectangle_int_t pixels{};         // what this node's own drawing may touch
    cairo_rectangle_int_t subtreePixels{};  // ... and its subtree's

    [[nodiscard]] bool looksLike(const Node& other) const;
  };

  class Builder;

  std::size_t drawSubtree(cairo_t* context, const cairo_region_t* damage, ImageSurfaceCache& images,
                          std::size_t index) const;
  void drawOwn(cairo_t* context, const Node& node, double alpha, ImageSurfaceCache& images) const;

  std::vector<Node> nodes_;
};

}  // namespace platform::detail
