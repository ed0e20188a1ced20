#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "Platform/UI/NibCoder.h"
#include "Platform/UI/NibDecodingError.h"
#include "Platform/UI/View.h"

namespace brelum {

// An invisible view of zero size that keeps one object alive for as long as the container
// stays in a view tree: add() puts a container into a view, remove() takes containers out
// and with them the objects they hold.
//
// Main thread only.
template <class T>
class _ObjectContainerView : public platform::View {
 public:
  // The one way to make a container.
  [[nodiscard]] static std::shared_ptr<_ObjectContainerView> make(std::shared_ptr<T> object) {
    return View::make<_ObjectContainerView>(platform::Rect{}, std::move(object));
  }

  // Public for std::make_shared only: use make().
  explicit _ObjectContainerView(std::shared_ptr<T> object) : object_(std::move(object)) {}

  // A container cannot come from a nib: the nib that names one gives no objects.
  explicit _ObjectContainerView(const platform::NibCoder&) {
    throw platform::NibDecodingError("init(coder:) has not been implemented");
  }

  [[nodiscard]] const std::shared_ptr<T>& object() const noexcept { return object_; }
  void setObject(std::shared_ptr<T> object) { object_ = std::move(object); }

  // Adds a new container holding `object` as the last subview of `view`.
  static void add(std::shared_ptr<T> object, platform::View& view) {
    view.addSubview(make(std::move(object)));
  }

  // Removes from `view`'s direct subviews every container for this T (subclasses count)
  // that holds this very instance; every such container when `object` is null. Containers
  // deeper in the tree, and containers for other types, stay.
  static void remove(const std::shared_ptr<T>& object, platform::View& view) {
    const std::vector<std::shared_ptr<platform::View>> snapshot = view.subviews();
    for (const auto& subview : snapshot) {
      const auto* container = dynamic_cast<const _ObjectContainerView*>(subview.get());
      if (container && (!object || container->object_.get() == object.get())) {
        subview->removeFromSuperview();
      }
    }
  }

 private:
  std::shared_ptr<T> object_;
};

}  // namespace brelum
