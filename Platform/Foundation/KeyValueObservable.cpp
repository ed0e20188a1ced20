#include "Platform/Foundation/KeyValueObservable.h"

#include <algorithm>
#include <ranges>
#include <utility>

#include "Platform/Dispatch/MainThread.h"

namespace platform {

void KeyValueObservable::addObserver(std::weak_ptr<KeyValueObserver> observer, std::string keyPath,
                                     void* context) {
  detail::requireMainThread("Key-value observation");
  const KeyValueObserver* identity = observer.lock().get();
  if (!identity) return;
  registrations_.push_back({nextID_++, std::move(observer), identity, std::move(keyPath), context});
}

void KeyValueObservable::removeObserver(const KeyValueObserver* observer,
                                        std::string_view keyPath) {
  detail::requireMainThread("Key-value observation");
  auto latest = std::ranges::find_if(registrations_ | std::views::reverse, [&](const auto& r) {
    return r.identity == observer && r.keyPath == keyPath;
  });
  if (latest != registrations_.rend()) registrations_.erase(std::next(latest).base());
}

std::size_t KeyValueObservable::observationCount(std::string_view keyPath) const {
  return std::ranges::count_if(registrations_, [&](const auto& r) { return r.keyPath == keyPath; });
}

const KeyValueObservable::Registration* KeyValueObservable::find(std::uint64_t id) const {
  auto found = std::ranges::find(registrations_, id, &Registration::id);
  return found == registrations_.end() ? nullptr : &*found;
}

void KeyValueObservable::didChangeValue(std::string_view keyPath, const void* object) {
  detail::requireMainThread("Key-value observation");
  std::erase_if(registrations_, [](const auto& r) { return r.observer.expired(); });
  // The ids of this change's audience, fixed now: observers may add and remove
  // registrations (or drop this object's owner) from inside observeValue.
  std::vector<std::uint64_t> audience;
  for (const auto& r : registrations_) {
    if (r.keyPath == keyPath) audience.push_back(r.id);
  }
  const std::optional<std::string> path{std::string(keyPath)};
  const KeyValueChange change;
  for (auto id : audience) {
    const Registration* registration = find(id);
    if (!registration) continue;
    void* context = registration->context;
    if (auto observer = registration->observer.lock()) {
      observer->observeValue(path, object, change, context);
    }
  }
}

}  // namespace platform
