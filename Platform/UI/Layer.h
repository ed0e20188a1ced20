#pragma once

#include <memory>
#include <vector>

#include "Platform/Foundation/Object.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/Graphics/Image.h"

namespace platform {

class View;
class Window;

// The visual properties of a view that are not the view's own (corner radius, clipping), and
// the tree of sublayers under it. Every view owns one layer; further layers are sublayers of
// it, each with a frame in its superlayer's coordinates.
//
// A layer's contents are what it draws over its background: an image that the renderer puts
// into the layer's frame by `contentsGravity`. Code supplies them (a video layer sets one
// per frame), and so does a view that shows an image (an image view sets its image here);
// the renderer reads nothing else of a view to know what it draws. An image whose rendering
// mode is alwaysTemplate, in a view's own layer, shows only its shape, filled with the view's
// tintColor(). Any change asks the window showing the layer to draw again.
//
// Main thread only, like views.
class Layer : public Object {
 public:
  // How contents fill the layer's bounds.
  enum class ContentsGravity {
    resize,            // stretched to the bounds
    resizeAspect,      // scaled to fit inside, centred (letterboxed)
    resizeAspectFill,  // scaled to cover, centred (cropped)
    center,            // at its own size, centred
  };

  [[nodiscard]] static std::shared_ptr<Layer> make();
  ~Layer() override;

  [[nodiscard]] double cornerRadius() const noexcept { return cornerRadius_; }
  // A view's own layer animates its corner radius inside an animation block. Negative or
  // non-finite radii count as 0.
  void setCornerRadius(double radius);

  [[nodiscard]] bool masksToBounds() const noexcept { return masksToBounds_; }
  void setMasksToBounds(bool masks);

  // In the superlayer's coordinates. A view's own layer answers, and sets, the view's frame.
  [[nodiscard]] Rect frame() const;
  void setFrame(const Rect& frame);
  // The frame's size at the origin.
  [[nodiscard]] Rect bounds() const;

  [[nodiscard]] const std::vector<std::shared_ptr<Layer>>& sublayers() const noexcept {
    return sublayers_;
  }
  // Appends `layer` on top of the others, taking it from its superlayer first. A layer that
  // belongs to a view, or that would become its own ancestor, is refused.
  void addSublayer(const std::shared_ptr<Layer>& layer);
  void removeFromSuperlayer();
  [[nodiscard]] std::shared_ptr<Layer> superlayer() const;

  // The view whose own layer this is; null for a sublayer.
  [[nodiscard]] std::shared_ptr<View> view() const;

  [[nodiscard]] const std::shared_ptr<const Image>& contents() const noexcept { return contents_; }
  void setContents(std::shared_ptr<const Image> contents);
  [[nodiscard]] ContentsGravity contentsGravity() const noexcept { return contentsGravity_; }
  void setContentsGravity(ContentsGravity gravity);

  // The window this layer is shown in, or null.
  [[nodiscard]] std::shared_ptr<Window> window() const;

 protected:
  Layer() = default;

  // Tells the window showing this layer that it must be drawn again.
  void setNeedsDisplay() const;

 private:
  friend class View;

  [[nodiscard]] const Layer* rootLayer() const;

  double cornerRadius_ = 0;
  bool masksToBounds_ = false;
  Rect frame_;
  std::vector<std::shared_ptr<Layer>> sublayers_;
  Layer* superlayer_ = nullptr;  // cleared by the superlayer when it lets go or dies
  View* view_ = nullptr;         // the owning view; cleared when the view dies
  std::shared_ptr<const Image> contents_;
  ContentsGravity contentsGravity_ = ContentsGravity::resize;
};

}  // namespace platform
