#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/Object.h"
#include "Platform/Foundation/TypeName.h"
#include "Platform/UI/NibCoder.h"
#include "Platform/UI/View.h"

namespace platform {

// The classes a nib may name: for each, its decoding constructor, its awakeFromNib and the
// bundle that contains it. A nib names a class by the name it was registered under, by
// default its readable C++ name ("platform::View", "demo::CardView").
//
// A host registers a class in one line, usually at start-up:
//   platform::NibRegistry::registerClass<CardView>();
// A class registered without a bundle belongs to the main bundle; the framework registers
// its own classes with the framework's bundle. The platform's View, ImageView, Button and
// ViewController are registered from the start.
//
// Every member may be called from any thread; the objects the decoders make are interface
// objects, so nibs are instantiated on the main thread.
class NibRegistry {
 public:
  using Decoder = std::function<std::shared_ptr<Object>(const NibCoder&)>;
  using Awakener = std::function<void(Object&)>;

  struct Entry {
    std::string name;
    Decoder decode;  // null for a class without a decoding constructor
    Awakener awake;  // null for a class without awakeFromNib
    std::shared_ptr<Bundle> bundle;
  };

  // Registers T, derived from Object, under `name`; a later registration of the same name
  // replaces the earlier one. A T without a constructor taking a NibCoder only gets its
  // bundle known: a nib naming it is refused.
  template <class T>
  static void registerClass(std::shared_ptr<Bundle> bundle = nullptr, std::string name = {}) {
    add(typeid(T), makeEntry<T>(std::move(bundle), std::move(name)));
  }

  // The class registered under `name`.
  [[nodiscard]] static std::optional<Entry> find(std::string_view name);

  // The bundle that contains the class `type`: the one it was registered with, else the
  // main bundle.
  [[nodiscard]] static std::shared_ptr<Bundle> bundleForClass(const std::type_info& type);

 private:
  template <class T>
  static Entry makeEntry(std::shared_ptr<Bundle> bundle, std::string name) {
    static_assert(std::is_base_of_v<Object, T>, "nib objects derive from platform::Object");
    Entry entry{name.empty() ? typeName<T>() : std::move(name), nullptr, nullptr,
                bundle ? std::move(bundle) : Bundle::main()};
    if constexpr (std::is_constructible_v<T, const NibCoder&>) entry.decode = &decodeAs<T>;
    if constexpr (requires(T & object) { object.awakeFromNib(); }) {
      entry.awake = [](Object& object) { static_cast<T&>(object).awakeFromNib(); };
    }
    return entry;
  }

  template <class T>
  static std::shared_ptr<Object> decodeAs(const NibCoder& coder) {
    if constexpr (std::is_base_of_v<View, T>) {
      return View::decode<T>(coder);
    } else {
      return std::make_shared<T>(coder);
    }
  }

  static void add(const std::type_info& type, Entry entry);
  static void insert(const std::type_info& type, Entry entry);
  // The platform's own classes, registered before anything else is looked up or added.
  static void registerBuiltIns();
};

// Registers T when constructed: a class's own source file can hold one as a static, so
// that the class is known to nibs whenever it is linked in.
template <class T>
struct NibClassRegistration {
  explicit NibClassRegistration(std::shared_ptr<Bundle> bundle = nullptr) {
    NibRegistry::registerClass<T>(std::move(bundle));
  }
};

}  // namespace platform
