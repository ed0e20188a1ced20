#pragma once

#include <any>
#include <map>
#include <optional>
#include <string>

namespace platform {

// What changed, by key ("new", "old", ...). Observations here are registered without
// options, so it is always empty; it exists so that an observer's signature stays the
// platform's.
using KeyValueChange = std::map<std::string, std::any>;

// Receives the change notices of key-value observations (KeyValueObservable) it registered.
class KeyValueObserver {
 public:
  virtual ~KeyValueObserver() = default;

  // Called on the main thread, synchronously with the change, for each registration of this
  // observer whose key path changed on `object` (the observed object).
  virtual void observeValue(const std::optional<std::string>& keyPath, const void* object,
                            const KeyValueChange& change, void* context) = 0;
};

}  // namespace platform
