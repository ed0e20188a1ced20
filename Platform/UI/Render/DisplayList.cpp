#include "Platform/UI/Render/DisplayList.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>

#include "Platform/UI/Layer.h"
#include "Platform/UI/Render/ImageSurfaceCache.h"
#include "Platform/UI/Window.h"

namespace platform::detail {
namespace {

// Device coordinates stay well inside int, whatever a host sets as a frame.
constexpr double kPixelLimit = 1 << 28;

cairo_rectangle_int_t toPixels(const Rect& rect, double scale) {
  if (rect.isEmpty()) return {0, 0, 0, 0};
  auto edge = [scale](double value, auto round) {
    return static_cast<int>(std::clamp(round(value * scale), -kPixelLimit, kPixelLimit));
  };
  auto floor = [](double v) { return std::floor(v); };
  auto ceil = [](double v) { return std::ceil(v); };
  int x = edge(rect.minX(), floor);
  int y = edge(rect.minY(), floor);
  return {x, y, edge(rect.maxX(), ceil) - x, edge(rect.maxY(), ceil) - y};
}

cairo_rectangle_int_t unite(const cairo_rectangle_int_t& a, const cairo_rectangle_int_t& b) {
  if (a.width <= 0 || a.height <= 0) return b;
  if (b.width <= 0 || b.height <= 0) return a;
  int x = std::min(a.x, b.x);
  int y = std::min(a.y, b.y);
  return {x, y, std::max(a.x + a.width, b.x + b.width) - x,
          std::max(a.y + a.height, b.y + b.height) - y};
}

bool touches(const cairo_region_t* region, const cairo_rectangle_int_t& rect) {
  return rect.width > 0 && rect.height > 0 &&
         cairo_region_contains_rectangle(region, &rect) != CAIRO_REGION_OVERLAP_OUT;
}

// Where an image of `size` (points) goes in `bounds`.
Rect place(const Rect& bounds, Size size, Layer::ContentsGravity gravity) {
  using enum Layer::ContentsGravity;
  if (gravity == resize || size.width <= 0 || size.height <= 0) return bounds;
  double factor = 1;
  if (gravity != center) {
    double sx = bounds.width() / size.width;
    double sy = bounds.height() / size.height;
    factor = gravity == resizeAspect ? std::min(sx, sy) : std::max(sx, sy);
  }
  double width = size.width * factor;
  double height = size.height * factor;
  return {bounds.midX() - width / 2, bounds.midY() - height / 2, width, height};
}

// Cairo's fixed-point paths overflow (and draw nothing) far beyond any surface; a rectangle
// cut down to this many points each way looks the same on every surface we draw.
constexpr double kFarthestEdge = 1e5;

void addRoundedRect(cairo_t* context, Rect rect, double radius) {
  rect = rect.intersection({-kFarthestEdge, -kFarthestEdge, 2 * kFarthestEdge, 2 * kFarthestEdge});
  if (rect.isEmpty()) return;
  radius = std::min({radius, rect.width() / 2, rect.height() / 2});
  if (radius <= 0) {
    cairo_rectangle(context, rect.minX(), rect.minY(), rect.width(), rect.height());
    return;
  }
  constexpr double kQuarter = std::numbers::pi / 2;
  cairo_new_sub_path(context);
  cairo_arc(context, rect.maxX() - radius, rect.minY() + radius, radius, -kQuarter, 0);
  cairo_arc(context, rect.maxX() - radius, rect.maxY() - radius, radius, 0, kQuarter);
  cairo_arc(context, rect.minX() + radius, rect.maxY() - radius, radius, kQuarter, 2 * kQuarter);
  cairo_arc(context, rect.minX() + radius, rect.minY() + radius, radius, 2 * kQuarter,
            3 * kQuarter);
  cairo_close_path(context);
}

void setSource(cairo_t* context, const Color& color, double alpha) {
  auto clamp = [](double value) { return std::clamp(value, 0.0, 1.0); };
  cairo_set_source_rgba(context, clamp(color.red), clamp(color.green), clamp(color.blue),
                        clamp(color.alpha) * alpha);
}

}  // namespace

// Walks the tree once, depth first, appending nodes in drawing order.
class DisplayList::Builder {
 public:
  Builder(std::vector<Node>& nodes, View::Clock::time_point at, double scale)
      : nodes_(nodes), at_(at), scale_(scale) {}

  // `offset` takes the superview's bounds coordinates to the window's. Answers the pixels
  // the subtree may touch.
  cairo_rectangle_int_t addView(const View& view, Point offset, const Rect& clip, double opacity,
                                bool isRoot) {
    // A window is drawn hidden or not: a snapshot of one not on screen shows its content.
    if (view.isHidden() && !isRoot) return {};
    const auto state = view.presentation(at_);
    if (state.alpha <= 0) return {};
    const auto& layer = *view.layer();
    Rect frame = isRoot ? Rect{0, 0, state.bounds.width(), state.bounds.height()}
                        : state.frame().offsetBy(offset.x, offset.y);
    std::size_t index = begin(&view, frame, clip, state.alpha, opacity * state.alpha);
    auto& node = nodes_[index];
    node.background = state.backgroundColor;
    node.cornerRadius = state.cornerRadius;
    setContents(node, layer, &view);

    Point inner{frame.minX() - state.bounds.minX(), frame.minY() - state.bounds.minY()};
    Rect innerClip = layer.masksToBounds() ? clip.intersection(frame) : clip;
    auto subtree = nodes_[index].pixels;
    for (const auto& sublayer : layer.sublayers()) {
      subtree = unite(subtree, addLayer(*sublayer, inner, innerClip, opacity * state.alpha));
    }
    for (const auto& subview : view.subviews()) {
      subtree = unite(subtree, addView(*subview, inner, innerClip, opacity * state.alpha, false));
    }
    return finish(index, subtree);
  }

 private:
  cairo_rectangle_int_t addLayer(const Layer& layer, Point offset, const Rect& clip,
                                 double opacity) {
    Rect frame = layer.frame().offsetBy(offset.x, offset.y);
    std::size_t index = begin(&layer, frame, clip, 1, opacity);
    nodes_[index].cornerRadius = layer.cornerRadius();
    setContents(nodes_[index], layer, nullptr);
    Rect innerClip = layer.masksToBounds() ? clip.intersection(frame) : clip;
    auto subtree = nodes_[index].pixels;
    for (const auto& sublayer : layer.sublayers()) {
      subtree = unite(subtree, addLayer(*sublayer, frame.origin, innerClip, opacity));
    }
    return finish(index, subtree);
  }

  std::size_t begin(const void* identity, const Rect& frame, const Rect& clip, double alpha,
                    double opacity) {
    Node node;
    node.identity = identity;
    node.predecessor = nodes_.empty() ? nullptr : nodes_.back().identity;
    node.frame = frame;
    node.clip = clip;
    node.alpha = alpha;
    node.opacity = opacity;
    nodes_.push_back(std::move(node));
    return nodes_.size() - 1;
  }

  // The layer's contents, placed in its bounds by its gravity; a template image in a view's
  // own layer takes the view's tint.
  void setContents(Node& node, const Layer& layer, const View* view) {
    node.masks = layer.masksToBounds();
    node.image = layer.contents();
    if (!node.image) return;
    node.imageRect = place(node.frame, node.image->size(), layer.contentsGravity());
    if (view && node.image->renderingMode() == Image::RenderingMode::alwaysTemplate) {
      node.tint = view->tintColor();
    }
  }

  cairo_rectangle_int_t finish(std::size_t index, cairo_rectangle_int_t subtree) {
    auto& node = nodes_[index];
    Rect drawn = node.background ? node.frame : Rect::null();
    if (node.image) {
      drawn =
          drawn.unionWith(node.masks ? node.imageRect.intersection(node.frame) : node.imageRect);
    }
    node.pixels = toPixels(drawn.intersection(node.clip), scale_);
    node.end = nodes_.size();
    // A translucent view with content above it fades as one picture, as on the phone: what
    // its subviews cover of it does not show through them.
    node.group = node.alpha < 1 && node.end > index + 1;
    node.subtreePixels = unite(subtree, node.pixels);
    return node.subtreePixels;
  }

  std::vector<Node>& nodes_;
  View::Clock::time_point at_;
  double scale_;
};

bool DisplayList::Node::looksLike(const Node& other) const {
  return predecessor == other.predecessor && frame == other.frame && clip == other.clip &&
         opacity == other.opacity && background == other.background &&
         cornerRadius == other.cornerRadius && masks == other.masks && image == other.image &&
         imageRect == other.imageRect && tint == other.tint;
}

DisplayList DisplayList::build(const Window& window, View::Clock::time_point at, double scale) {
  DisplayList list;
  Builder builder(list.nodes_, at, scale);
  const auto size = window.bounds().size;
  builder.addView(window, {}, {0, 0, size.width, size.height}, 1, true);
  return list;
}

void DisplayList::addDamage(const DisplayList& previous, cairo_region_t* damage) const {
  std::unordered_map<const void*, std::size_t> before;
  before.reserve(previous.nodes_.size());
  for (std::size_t i = 0; i < previous.nodes_.size(); ++i) {
    before.emplace(previous.nodes_[i].identity, i);
  }
  std::vector<bool> kept(previous.nodes_.size());
  for (const auto& node : nodes_) {
    auto found = before.find(node.identity);
    if (found == before.end()) {
      cairo_region_union_rectangle(damage, &node.pixels);
      continue;
    }
    kept[found->second] = true;
    const auto& old = previous.nodes_[found->second];
    if (node.looksLike(old)) continue;
    cairo_region_union_rectangle(damage, &old.pixels);
    cairo_region_union_rectangle(damage, &node.pixels);
  }
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (!kept[i]) cairo_region_union_rectangle(damage, &previous.nodes_[i].pixels);
  }
}

void DisplayList::draw(cairo_t* context, const cairo_region_t* damage,
                       ImageSurfaceCache& images) const {
  for (std::size_t index = 0; index < nodes_.size();) {
    index = drawSubtree(context, damage, images, index);
  }
}

std::size_t DisplayList::drawSubtree(cairo_t* context, const cairo_region_t* damage,
                                     ImageSurfaceCache& images, std::size_t index) const {
  const auto& node = nodes_[index];
  if (!touches(damage, node.subtreePixels)) return node.end;
  cairo_save(context);
  if (node.group) cairo_push_group(context);
  if (touches(damage, node.pixels)) drawOwn(context, node, node.group ? 1 : node.alpha, images);
  if (node.masks) {
    addRoundedRect(context, node.frame, node.cornerRadius);
    cairo_clip(context);
  }
  for (std::size_t child = index + 1; child < node.end;) {
    child = drawSubtree(context, damage, images, child);
  }
  if (node.group) {
    cairo_pop_group_to_source(context);
    cairo_paint_with_alpha(context, node.alpha);
  }
  cairo_restore(context);
  return node.end;
}

void DisplayList::drawOwn(cairo_t* context, const Node& node, double alpha,
                          ImageSurfaceCache& images) const {
  if (node.background) {
    setSource(context, *node.background, alpha);
    addRoundedRect(context, node.frame, node.cornerRadius);
    cairo_fill(context);
  }
  // A zero scale would put the context in an error state for the rest of the frame.
  auto* surface = node.imageRect.isEmpty() ? nullptr : images.surface(node.image);
  if (!surface) return;
  cairo_save(context);
  if (node.masks) {
    addRoundedRect(context, node.frame, node.cornerRadius);
    cairo_clip(context);
  }
  const double width = node.image->width();
  const double height = node.image->height();
  cairo_translate(context, node.imageRect.minX(), node.imageRect.minY());
  cairo_scale(context, node.imageRect.width() / width, node.imageRect.height() / height);
  cairo_rectangle(context, 0, 0, width, height);
  cairo_clip(context);
  auto* pattern = cairo_pattern_create_for_surface(surface);
  // Scaled edges take the edge pixels rather than fading into nothing.
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  if (node.tint) {
    setSource(context, *node.tint, alpha);
    cairo_mask(context, pattern);
  } else {
    cairo_set_source(context, pattern);
    cairo_paint_with_alpha(context, alpha);
  }
  cairo_pattern_destroy(pattern);
  cairo_restore(context);
}

}  // namespace platform::detail
