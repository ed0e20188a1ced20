#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <typeinfo>

#include "Classes/UI/Extensions/ViewError.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/UI/Nib.h"
#include "Platform/UI/View.h"

namespace brelum {

// Adds `subview` as the last subview of `view` and pins its top, left, bottom and right
// edges `margin` points inside `view`'s (the absolute left and right: a right-to-left layout
// does not mirror the fit). The frame follows when `view` lays out.
void addSubviewAndFit(platform::View& view, const std::shared_ptr<platform::View>& subview,
                      double margin);

// A type's own name, without its namespaces or enclosing classes: "CardView" for
// demo::CardView, "Inner" for demo::Outer::Inner; template arguments stay as written
// ("Box<demo::Card>"). It names the nibs found without a name, so a host's nib for its
// view class demo::CardView must be called "CardView.nib".
[[nodiscard]] std::string className(const std::type_info& type);

// The name of the view's dynamic type, as className(typeid(view)) gives it.
[[nodiscard]] std::string className(const platform::View& view);

// The name of T, as className(typeid(T)) gives it.
template <class T>
[[nodiscard]] std::string className() {
  return className(typeid(T));
}

// The first top-level object of the nib `name` (className<T>() when none) in `bundle` (the
// main bundle when null), instantiated without owner, as a T. Throws
// ViewError::loadFromXIBError() when the nib gives no objects (missing or unreadable nibs
// included) or its first object is not a T, even when a later one is.
template <class T>
[[nodiscard]] std::shared_ptr<T> loadFromXib(std::optional<std::string> name,
                                             std::shared_ptr<platform::Bundle> bundle) {
  auto objects =
      platform::Nib(name ? std::move(*name) : className<T>(), std::move(bundle)).instantiate({});
  auto first = objects.empty() ? nullptr : std::dynamic_pointer_cast<T>(objects.front());
  if (!first) throw ViewError::loadFromXIBError();
  return first;
}

// The first top-level object, when it is a view, of the nib `xibName` (className(view) when
// none) in `bundle` (the bundle of the view's class when null), instantiated with `view` as
// its owner; null otherwise. A bundle without that nib instantiates nothing and is quiet.
[[nodiscard]] std::shared_ptr<platform::View> loadFromXib(platform::View& view,
                                                          std::optional<std::string> xibName,
                                                          std::shared_ptr<platform::Bundle> bundle);

// The first descendant of `view` that is a T (with `tag`, when given), depth first through
// each subviews list in order. A T whose tag differs is not searched into; a view of
// another type is.
template <class T>
[[nodiscard]] std::shared_ptr<T> subview(const platform::View& view,
                                         std::optional<std::int64_t> tag) {
  for (const auto& child : view.subviews()) {
    if (auto typed = std::dynamic_pointer_cast<T>(child)) {
      if (!tag || typed->tag() == *tag) return typed;
      continue;
    }
    if (auto found = subview<T>(*child, tag)) return found;
  }
  return nullptr;
}

// Removes every subview of `view`, in the order they stood when called.
void removeSubviews(platform::View& view);

}  // namespace brelum
