#include "Platform/UI/NibRegistry.h"

#include <map>
#include <mutex>
#include <typeindex>
#include <utility>

#include "Platform/UI/Button.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/ViewController.h"

namespace platform {
namespace {

struct Classes {
  std::mutex mutex;
  std::map<std::string, NibRegistry::Entry, std::less<>> byName;
  std::map<std::type_index, std::shared_ptr<Bundle>> bundles;
};

// Never destroyed: classes register from static objects, whose teardown order is unknown.
Classes& classes() {
  static auto* const shared = new Classes;
  return *shared;
}

}  // namespace

void NibRegistry::registerBuiltIns() {
  static const bool registered = [] {
    insert(typeid(View), makeEntry<View>(Bundle::framework(), {}));
    insert(typeid(ImageView), makeEntry<ImageView>(Bundle::framework(), {}));
    insert(typeid(Button), makeEntry<Button>(Bundle::framework(), {}));
    insert(typeid(ViewController), makeEntry<ViewController>(Bundle::framework(), {}));
    return true;
  }();
  (void)registered;
}

void NibRegistry::insert(const std::type_info& type, Entry entry) {
  auto& registry = classes();
  std::lock_guard lock(registry.mutex);
  registry.bundles.insert_or_assign(std::type_index(type), entry.bundle);
  auto name = entry.name;
  registry.byName.insert_or_assign(std::move(name), std::move(entry));
}

void NibRegistry::add(const std::type_info& type, Entry entry) {
  registerBuiltIns();
  insert(type, std::move(entry));
}

std::optional<NibRegistry::Entry> NibRegistry::find(std::string_view name) {
  registerBuiltIns();
  auto& registry = classes();
  std::lock_guard lock(registry.mutex);
  auto it = registry.byName.find(name);
  if (it == registry.byName.end()) return std::nullopt;
  return it->second;
}

std::shared_ptr<Bundle> NibRegistry::bundleForClass(const std::type_info& type) {
  registerBuiltIns();
  auto& registry = classes();
  std::lock_guard lock(registry.mutex);
  auto it = registry.bundles.find(std::type_index(type));
  return it == registry.bundles.end() ? Bundle::main() : it->second;
}

}  // namespace platform
