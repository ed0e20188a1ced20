#include "Platform/Foundation/Object.h"

#include <algorithm>
#include <cstdio>

#include <cxxabi.h>

namespace platform {

Object::~Object() = default;

void Object::setAssociatedObject(const void* key, std::shared_ptr<void> value) {
  store(key, std::move(value), nullptr);
}

void Object::store(const void* key, std::shared_ptr<void> value, const std::type_info* type) {
  auto it = std::ranges::find(associations_, key, &Association::key);
  if (!value) {
    if (it != associations_.end()) {
      // The old value is released after the entry is gone: its destructor may read this store.
      auto old = std::move(it->value);
      associations_.erase(it);
    }
    return;
  }
  if (it == associations_.end()) {
    associations_.push_back({key, std::move(value), type});
    return;
  }
  auto old = std::exchange(it->value, std::move(value));
  it->type = type;
}

std::shared_ptr<void> Object::associatedObject(const void* key) const {
  const Association* entry = find(key);
  return entry ? entry->value : nullptr;
}

const Object::Association* Object::find(const void* key) const {
  auto it = std::ranges::find(associations_, key, &Association::key);
  return it == associations_.end() ? nullptr : &*it;
}

std::string Object::description() const {
  int status = 0;
  const char* mangled = typeid(*this).name();
  std::unique_ptr<char, decltype(&std::free)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
  return "<" + std::string(status == 0 && demangled ? demangled.get() : mangled) + ": " + address +
         ">";
}

}  // namespace platform
