#pragma once

#include <memory>
#include <string_view>

#include "Platform/Foundation/Object.h"

namespace platform {

// An owner that takes the outlets a nib connects to it. A nib's connections name an outlet
// and one of the nib's objects; when the nib is instantiated with an owner, each is handed
// to the owner here, before any object of the nib is woken (awakeFromNib).
//
// Mix it into the owning class next to its Object base:
//   class CardView : public brelum::_BaseXibView, public platform::NibOwner { ... };
class NibOwner {
 public:
  virtual ~NibOwner() = default;

  // Keeps `object` as the outlet `outlet`; false when the owner has no such outlet or the
  // object is of the wrong type (the reader then reports the connection and skips it).
  virtual bool connectOutlet(std::string_view outlet, const std::shared_ptr<Object>& object) = 0;

 protected:
  // Stores `object` in `slot` when it is a T; false otherwise, leaving `slot` alone.
  template <class T>
  static bool assignOutlet(std::shared_ptr<T>& slot, const std::shared_ptr<Object>& object) {
    auto typed = std::dynamic_pointer_cast<T>(object);
    if (!typed) return false;
    slot = std::move(typed);
    return true;
  }
};

}  // namespace platform
