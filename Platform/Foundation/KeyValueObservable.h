#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/KeyValueObserver.h"

namespace platform {

// An object whose values can be observed by key path ("status", "player.rate"): each
// registration receives one notice per change of its key path, through the observer's
// observeValue, on the main thread.
//
// Main thread only: registering, removing and changes all happen there. Observers are held
// weakly, so one that dies without unregistering is skipped, never called. An observer may
// register or remove observations from inside a notice: one removed during a notice gets no
// further call from it, one added first hears the next change. Whoever announces a change
// keeps the object alive until the notice is over, so observers may drop their references.
// Registering twice gives two notices per change; removal takes the latest registration.
// Removing an observation that is not registered does nothing.
class KeyValueObservable {
 public:
  KeyValueObservable(const KeyValueObservable&) = delete;
  KeyValueObservable& operator=(const KeyValueObservable&) = delete;

  void addObserver(std::weak_ptr<KeyValueObserver> observer, std::string keyPath,
                   void* context = nullptr);
  void removeObserver(const KeyValueObserver* observer, std::string_view keyPath);

  // How many registrations are held for `keyPath` (dead observers included until the next
  // change prunes them).
  [[nodiscard]] std::size_t observationCount(std::string_view keyPath) const;

 protected:
  KeyValueObservable() = default;
  virtual ~KeyValueObservable() = default;

  // Tells every observer of `keyPath` that its value changed; `object` is what they are
  // told was observed.
  void didChangeValue(std::string_view keyPath, const void* object);

 private:
  struct Registration {
    std::uint64_t id = 0;
    std::weak_ptr<KeyValueObserver> observer;
    const KeyValueObserver* identity = nullptr;
    std::string keyPath;
    void* context = nullptr;
  };

  [[nodiscard]] const Registration* find(std::uint64_t id) const;

  std::vector<Registration> registrations_;
  std::uint64_t nextID_ = 1;
};

}  // namespace platform
