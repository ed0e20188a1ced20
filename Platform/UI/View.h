#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include <boost/container/small_vector.hpp>

#include "Platform/Foundation/Object.h"
#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/AnimationRecord.h"
#include "Platform/UI/LayoutAnchor.h"
#include "Platform/UI/LayoutNode.h"
#include "Platform/UI/PresentationState.h"

namespace platform {

class GestureRecognizer;
class Layer;
class LayoutConstraint;
class NibCoder;
class Window;

// Which way a view's content runs; leading and trailing follow it, left and right never do.
enum class UserInterfaceLayoutDirection { leftToRight, rightToLeft };

// A view's own say on its direction; unspecified takes the superview's.
enum class SemanticContentAttribute { unspecified, forceLeftToRight, forceRightToLeft };

// A rectangle of the interface: geometry, appearance, an owned layer and an ordered list of
// subviews (later ones drawn above earlier ones). The model only: nothing here draws, the
// renderer reads these values (and presentation(at) while animations run).
//
// Views live on the main thread and are always held by std::shared_ptr. Two roads create
// one, and each runs the subclass's setup exactly once:
//   - in code, View::make<T>(frame, args...) constructs T(args...), sets the frame, then calls
//     the virtual didInitWithFrame(), where a subclass's setup runs (a constructor cannot
//     dispatch to an override);
//   - from a nib, View::decode<T>(coder) constructs T(coder); once the whole nib tree is
//     connected, the nib reader calls awakeFromNib() on every object it made.
// A superview owns its subviews; a subview refers to its superview without owning it.
class View : public Object {
 public:
  using Clock = std::chrono::steady_clock;

  // The code road. T derives from View and is constructible from `args`.
  template <class T = View, class... Args>
  [[nodiscard]] static std::shared_ptr<T> make(const Rect& frame, Args&&... args) {
    auto view = std::make_shared<T>(std::forward<Args>(args)...);
    view->setFrame(frame);
    static_cast<View&>(*view).didInitWithFrame();
    return view;
  }
  template <class T = View>
  [[nodiscard]] static std::shared_ptr<T> make() {
    return make<T>(Rect{});
  }

  // The decoding road. T has a constructor taking the coder.
  template <class T>
  [[nodiscard]] static std::shared_ptr<T> decode(const NibCoder& coder) {
    return std::make_shared<T>(coder);
  }

  // Constructors are public for std::make_shared; create views through make() or decode().
  View();
  // Reads the attributes every view has: frame, tag, hidden, alpha, background colour,
  // tint colour, user interaction, the autoresizing-mask flag.
  explicit View(const NibCoder& coder);
  ~View() override;

  // Called by make() after the frame is set: the code road's setup hook.
  virtual void didInitWithFrame() {}
  // Called by the nib reader once the nib's objects are all made and connected.
  virtual void awakeFromNib() {}

  // Geometry. The frame is derived from center and bounds: setting it sets both. Values that
  // are not finite are refused (the view keeps what it had); a negative width or height
  // is taken standardised.
  [[nodiscard]] Rect frame() const;
  void setFrame(const Rect& frame);
  [[nodiscard]] const Rect& bounds() const noexcept { return bounds_; }
  void setBounds(const Rect& bounds);
  [[nodiscard]] Point center() const noexcept { return center_; }
  void setCenter(Point center);

  // Kept within 0...1.
  [[nodiscard]] double alpha() const noexcept { return alpha_; }
  void setAlpha(double alpha);
  [[nodiscard]] bool isHidden() const noexcept { return hidden_; }
  void setHidden(bool hidden);
  [[nodiscard]] std::int64_t tag() const noexcept { return tag_; }
  void setTag(std::int64_t tag) noexcept { tag_ = tag; }

  [[nodiscard]] const std::optional<Color>& backgroundColor() const noexcept {
    return backgroundColor_;
  }
  void setBackgroundColor(std::optional<Color> color);
  // This view's own tint, else the nearest ancestor's, else the system blue.
  [[nodiscard]] Color tintColor() const;
  void setTintColor(std::optional<Color> color);
  [[nodiscard]] bool hasOwnTintColor() const noexcept { return tintColor_.has_value(); }

  [[nodiscard]] const std::shared_ptr<Layer>& layer() const noexcept { return layer_; }

  // The tree. addSubview appends (a view already elsewhere moves); insertSubview puts the
  // view at `index` (clamped to the count). A view that is an ancestor of the receiver, or
  // the receiver itself, is refused.
  void addSubview(const std::shared_ptr<View>& view);
  void insertSubview(const std::shared_ptr<View>& view, std::size_t index);
  void removeFromSuperview();
  [[nodiscard]] const std::vector<std::shared_ptr<View>>& subviews() const noexcept {
    return subviews_;
  }
  [[nodiscard]] std::shared_ptr<View> superview() const;
  [[nodiscard]] View* superviewPointer() const noexcept { return superview_; }
  [[nodiscard]] bool isDescendant(const View& ancestor) const noexcept;
  // The window at the root of this view's tree, or null.
  [[nodiscard]] std::shared_ptr<Window> window() const;

  // The receiver when its tag matches, else the first match depth-first through the
  // subviews in order; null when none matches.
  [[nodiscard]] std::shared_ptr<View> viewWithTag(std::int64_t tag);

  // The part of the window's safe-area insets that overlaps this view (all zero outside a
  // window).
  [[nodiscard]] virtual EdgeInsets safeAreaInsets() const;

  [[nodiscard]] SemanticContentAttribute semanticContentAttribute() const noexcept {
    return semanticContentAttribute_;
  }
  void setSemanticContentAttribute(SemanticContentAttribute attribute);
  [[nodiscard]] UserInterfaceLayoutDirection effectiveUserInterfaceLayoutDirection() const;

  [[nodiscard]] bool isUserInteractionEnabled() const noexcept { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool enabled) noexcept { userInteractionEnabled_ = enabled; }
  [[nodiscard]] bool translatesAutoresizingMaskIntoConstraints() const noexcept {
    return translatesAutoresizingMask_;
  }
  void setTranslatesAutoresizingMaskIntoConstraints(bool translates);

  // Gesture recognizers see the touches on this view and its subviews. A recognizer belongs
  // to one view at a time: adding it here takes it from its previous view.
  void addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  void removeGestureRecognizer(const GestureRecognizer& recognizer);
  [[nodiscard]] const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers()
      const noexcept {
    return gestureRecognizers_;
  }

  // The deepest visible, interactive view under `point` (in this view's coordinates): the
  // receiver or a descendant, last subview first. A hidden view, one with alpha below 0.01 or
  // with user interaction disabled is passed over with its subtree, and so is any part of a
  // subview that lies outside its superview's bounds.
  [[nodiscard]] virtual std::shared_ptr<View> hitTest(Point point);
  [[nodiscard]] virtual bool pointInside(Point point) const;

  // Anchors to make constraints from. A constrained view is placed by its superview's
  // layoutSubviews once it stops translating its autoresizing mask.
  [[nodiscard]] LayoutXAxisAnchor leftAnchor() { return xAnchor(LayoutAttribute::left); }
  [[nodiscard]] LayoutXAxisAnchor rightAnchor() { return xAnchor(LayoutAttribute::right); }
  [[nodiscard]] LayoutXAxisAnchor leadingAnchor() { return xAnchor(LayoutAttribute::leading); }
  [[nodiscard]] LayoutXAxisAnchor trailingAnchor() { return xAnchor(LayoutAttribute::trailing); }
  [[nodiscard]] LayoutXAxisAnchor centerXAnchor() { return xAnchor(LayoutAttribute::centerX); }
  [[nodiscard]] LayoutYAxisAnchor topAnchor() { return yAnchor(LayoutAttribute::top); }
  [[nodiscard]] LayoutYAxisAnchor bottomAnchor() { return yAnchor(LayoutAttribute::bottom); }
  [[nodiscard]] LayoutYAxisAnchor centerYAnchor() { return yAnchor(LayoutAttribute::centerY); }
  [[nodiscard]] LayoutDimension widthAnchor() { return dimension(LayoutAttribute::width); }
  [[nodiscard]] LayoutDimension heightAnchor() { return dimension(LayoutAttribute::height); }
  // The active constraints that bind this view.
  [[nodiscard]] const std::vector<std::shared_ptr<LayoutConstraint>>& constraints() const noexcept {
    return constraints_;
  }

  // Layout. setNeedsLayout marks the view; layoutIfNeeded lays out every marked view of the
  // receiver's subtree, top down, before it returns. layoutSubviews positions the subviews
  // that constraints place; an override calls it first, then adjusts.
  void setNeedsLayout();
  void layoutIfNeeded();
  [[nodiscard]] bool needsLayout() const noexcept { return needsLayout_; }
  virtual void layoutSubviews();

  // Coordinate conversion between this view and `view` (in the same window or tree); a null
  // `view` means the window.
  [[nodiscard]] Point convert(Point point, const View* to) const;
  [[nodiscard]] Point convertFrom(Point point, const View* from) const;
  [[nodiscard]] Rect convert(const Rect& rect, const View* to) const;
  [[nodiscard]] Rect convertFrom(const Rect& rect, const View* from) const;

  // Animation. Inside `animations`, changes of frame, bounds, center, alpha, background
  // colour and the layer's corner radius are recorded on their views with `duration`; the
  // model takes the new values at once. `completion` runs once on the main queue: when the
  // duration has passed (true), or earlier when every recorded change was taken over by a
  // newer animation or dropped with its view leaving the window (false). A block that
  // changes nothing completes at once (true). Nested blocks use their own duration.
  static void animate(double duration, const std::function<void()>& animations,
                      std::function<void(bool finished)> completion = nullptr);

  // The values this view shows at `at`.
  [[nodiscard]] PresentationState presentation(Clock::time_point at) const;
  [[nodiscard]] std::span<const AnimationRecord> animations() const noexcept { return animations_; }
  // Whether this view or its subtree still animates at `at`.
  [[nodiscard]] bool hasRunningAnimations(Clock::time_point at) const;

 protected:
  // Asks the window showing this view to draw again.
  void setNeedsDisplay() const;

 private:
  friend class Layer;
  friend class LayoutConstraint;
  friend class LayoutSolver;
  friend class Window;

  [[nodiscard]] LayoutXAxisAnchor xAnchor(LayoutAttribute attribute) {
    return {sharedAs<View>(), attribute};
  }
  [[nodiscard]] LayoutYAxisAnchor yAnchor(LayoutAttribute attribute) {
    return {sharedAs<View>(), attribute};
  }
  [[nodiscard]] LayoutDimension dimension(LayoutAttribute attribute) {
    return {sharedAs<View>(), attribute};
  }
  void deactivateConstraintsLeaving(const View& subtree);
  void forgetConstraint(const LayoutConstraint& constraint);

  void recordAnimation(AnimatableProperty property, AnimationRecord::Value from,
                       AnimationRecord::Value to);
  void dropAnimations(bool includeSubviews);
  void windowDidChange(Window* oldWindow);
  void markSubtreeNeedsLayout();
  void layOutSubtree();
  [[nodiscard]] Window* windowPointer() const noexcept;
  [[nodiscard]] Point originInWindow() const;
  void setCenterAndBounds(Point center, const Rect& bounds);

  Point center_;
  Rect bounds_;
  double alpha_ = 1;
  bool hidden_ = false;
  bool userInteractionEnabled_ = true;
  bool translatesAutoresizingMask_ = true;
  bool needsLayout_ = true;
  bool subtreeNeedsLayout_ = true;
  SemanticContentAttribute semanticContentAttribute_ = SemanticContentAttribute::unspecified;
  std::int64_t tag_ = 0;
  std::optional<Color> backgroundColor_;
  std::optional<Color> tintColor_;
  std::shared_ptr<Layer> layer_;
  std::vector<std::shared_ptr<View>> subviews_;
  View* superview_ = nullptr;  // cleared by the superview when it lets go or dies
  std::vector<AnimationRecord> animations_;
  std::vector<std::shared_ptr<LayoutConstraint>> constraints_;  // active, binding this view
  std::vector<std::shared_ptr<GestureRecognizer>> gestureRecognizers_;
  // constraints_ as the solver reads them: held inside the view for the usual few, so that a
  // pass over many views reads memory in order instead of chasing a block per view.
  boost::container::small_vector<LayoutNode::Link, 4> layoutLinks_;
  LayoutNode layoutNode_;
  bool isWindow_ = false;  // set by Window: the root of a tree that draws
};

}  // namespace platform
