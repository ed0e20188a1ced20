#pragma once

#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

namespace platform {

// The base of the interface objects (views, layers, controllers, gesture recognizers, media
// items): always held by std::shared_ptr, so that anything may refer to one weakly.
//
// Each object carries a small store of associated objects: a value kept under the address
// of a key (any static of the caller's), retained for as long as the object lives or until
// replaced. These objects belong to the main thread.
class Object : public std::enable_shared_from_this<Object> {
 public:
  virtual ~Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  // Keeps `value` under `key`, releasing what was there; a null value removes the entry.
  void setAssociatedObject(const void* key, std::shared_ptr<void> value);
  template <class T>
  void setAssociatedObject(const void* key, std::shared_ptr<T> value) {
    store(key, std::shared_ptr<void>(value), value ? &typeid(T) : nullptr);
  }

  // What is kept under `key`, or null.
  [[nodiscard]] std::shared_ptr<void> associatedObject(const void* key) const;
  // What is kept under `key` when it was stored as a T; null otherwise.
  template <class T>
  [[nodiscard]] std::shared_ptr<T> associatedObject(const void* key) const {
    const Association* entry = find(key);
    if (!entry || !entry->type || *entry->type != typeid(T)) return nullptr;
    return std::static_pointer_cast<T>(entry->value);
  }

  // A line for logs: the dynamic type and the address.
  [[nodiscard]] virtual std::string description() const;

 protected:
  Object() = default;

  // This object as the derived type it is known to be (it must be held by shared_ptr).
  template <class T>
  [[nodiscard]] std::shared_ptr<T> sharedAs() {
    return std::static_pointer_cast<T>(shared_from_this());
  }

 private:
  struct Association {
    const void* key;
    std::shared_ptr<void> value;
    const std::type_info* type;  // null when stored untyped
  };

  void store(const void* key, std::shared_ptr<void> value, const std::type_info* type);
  [[nodiscard]] const Association* find(const void* key) const;

  // Objects carry one or two associations at most, so a vector beats a map.
  std::vector<Association> associations_;
};

}  // namespace platform
