#include "Platform/UI/Nib.h"

#include <algorithm>
#include <expected>
#include <map>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "Platform/Foundation/Console.h"
#include "Platform/Foundation/JSONNesting.h"
#include "Platform/UI/NibCoder.h"
#include "Platform/UI/NibDecodingError.h"
#include "Platform/UI/NibOwner.h"
#include "Platform/UI/NibRegistry.h"
#include "Platform/UI/View.h"

namespace platform {
namespace {

using nlohmann::json;

// Deep enough for any real view tree (each level of subviews costs two levels of JSON);
// the tree is walked recursively, so hostile depth must not reach the walk.
constexpr std::size_t kMaxNesting = 100;

template <class T = void>
using Outcome = std::expected<T, std::string>;

std::unexpected<std::string> failure(std::string reason) {
  return std::unexpected(std::move(reason));
}

struct Connection {
  std::string outlet;
  std::shared_ptr<Object> destination;
};

// One instantiation: makes the objects depth first, remembering them for waking and their
// ids for the connections.
class Builder {
 public:
  explicit Builder(std::shared_ptr<Bundle> bundle) : bundle_(std::move(bundle)) {}

  Outcome<std::vector<std::shared_ptr<Object>>> build(const json& document) {
    if (!document.is_object()) return failure("the document is not a JSON object");
    auto objects = document.find("objects");
    if (objects == document.end() || !objects->is_array()) {
      return failure("\"objects\" is missing or not an array");
    }
    std::vector<std::shared_ptr<Object>> topLevel;
    for (const auto& description : *objects) {
      auto object = buildObject(description);
      if (!object) return failure(std::move(object).error());
      topLevel.push_back(std::move(*object));
    }
    if (auto connected = readConnections(document); !connected) return failure(connected.error());
    return topLevel;
  }

  [[nodiscard]] const std::vector<std::pair<std::shared_ptr<Object>, NibRegistry::Awakener>>& made()
      const noexcept {
    return made_;
  }
  [[nodiscard]] const std::vector<Connection>& connections() const noexcept { return connections_; }

  // The images the nib names that its bundle lacks: each left out, the rest of the nib
  // loaded. Reported only for a nib read whole, so that a broken one says one thing.
  void reportMissingImages() const {
    for (const auto& [object, imageName] : missingImages_) {
      Console::print("Nib: no image \"" + imageName + "\" in " + bundle_->bundleIdentifier() +
                     " for " + object->description());
    }
  }

 private:
  Outcome<std::shared_ptr<Object>> buildObject(const json& description) {
    if (!description.is_object()) return failure("an object is not a JSON object");
    auto className = description.find("class");
    if (className == description.end() || !className->is_string()) {
      return failure("an object has no class name");
    }
    const auto name = className->get<std::string>();
    auto entry = NibRegistry::find(name);
    if (!entry) return failure("unknown class \"" + name + "\"");
    if (!entry->decode) return failure(name + " cannot be made from a nib");
    auto properties = readProperties(description, name);
    if (!properties) return failure(std::move(properties).error());

    const NibCoder coder(std::move(*properties), bundle_);
    std::shared_ptr<Object> object;
    try {
      object = entry->decode(coder);
    } catch (const NibDecodingError& error) {
      return failure(name + ": " + error.what());
    }
    made_.emplace_back(object, entry->awake);
    for (const auto& imageName : coder.missingImages())
      missingImages_.emplace_back(object, imageName);
    if (auto named = remember(description, object); !named) return failure(named.error());
    if (auto added = addSubviews(description, object, name); !added) return failure(added.error());
    return object;
  }

  static Outcome<json> readProperties(const json& description, const std::string& className) {
    auto properties = description.find("properties");
    if (properties == description.end()) return json::object();
    if (!properties->is_object()) return failure(className + ": \"properties\" is not an object");
    return *properties;
  }

  Outcome<> remember(const json& description, const std::shared_ptr<Object>& object) {
    auto id = description.find("id");
    if (id == description.end()) return {};
    if (!id->is_string()) return failure("an id is not a string");
    if (!ids_.emplace(id->get<std::string>(), object).second) {
      return failure("the id \"" + id->get<std::string>() + "\" is used twice");
    }
    return {};
  }

  Outcome<> addSubviews(const json& description, const std::shared_ptr<Object>& object,
                        const std::string& className) {
    auto subviews = description.find("subviews");
    if (subviews == description.end()) return {};
    auto view = std::dynamic_pointer_cast<View>(object);
    if (!view) return failure(className + " is not a view and cannot have subviews");
    if (!subviews->is_array()) return failure(className + ": \"subviews\" is not an array");
    for (const auto& child : *subviews) {
      auto subview = buildObject(child);
      if (!subview) return failure(std::move(subview).error());
      auto childView = std::dynamic_pointer_cast<View>(*subview);
      if (!childView) return failure("a subview of " + className + " is not a view");
      view->addSubview(childView);
    }
    return {};
  }

  Outcome<> readConnections(const json& document) {
    auto connections = document.find("connections");
    if (connections == document.end()) return {};
    if (!connections->is_array()) return failure("\"connections\" is not an array");
    for (const auto& connection : *connections) {
      if (!connection.is_object()) return failure("a connection is not a JSON object");
      auto outlet = connection.find("outlet");
      auto destination = connection.find("destination");
      if (outlet == connection.end() || !outlet->is_string() || destination == connection.end() ||
          !destination->is_string()) {
        return failure("a connection needs an \"outlet\" and a \"destination\" string");
      }
      auto object = ids_.find(destination->get<std::string>());
      if (object == ids_.end()) {
        return failure("a connection names the unknown id \"" + destination->get<std::string>() +
                       "\"");
      }
      connections_.push_back({outlet->get<std::string>(), object->second});
    }
    return {};
  }

  std::shared_ptr<Bundle> bundle_;
  std::vector<std::pair<std::shared_ptr<Object>, NibRegistry::Awakener>> made_;
  std::map<std::string, std::shared_ptr<Object>, std::less<>> ids_;
  std::vector<Connection> connections_;
  std::vector<std::pair<std::shared_ptr<Object>, std::string>> missingImages_;
};

// The nibs being instantiated on this thread, outermost first. An object that loads its own
// nib again while that nib is being made (a view whose nib holds the view itself) would
// recurse without end; the inner load is refused instead.
struct ActiveNib {
  const Bundle* bundle;
  std::string_view name;
  const void* data;

  friend bool operator==(const ActiveNib&, const ActiveNib&) = default;
};
thread_local std::vector<ActiveNib> tActive;

class ActiveScope {
 public:
  explicit ActiveScope(ActiveNib nib) { tActive.push_back(nib); }
  ~ActiveScope() { tActive.pop_back(); }
  ActiveScope(const ActiveScope&) = delete;
  ActiveScope& operator=(const ActiveScope&) = delete;
};

void connect(const std::vector<Connection>& connections, const std::shared_ptr<Object>& owner,
             const std::string& nibName) {
  auto* target = dynamic_cast<NibOwner*>(owner.get());
  for (const auto& [outlet, destination] : connections) {
    if (!target || !target->connectOutlet(outlet, destination)) {
      Console::print("Nib \"" + nibName + "\": the owner " + owner->description() +
                     " takes no outlet \"" + outlet + "\" of " + destination->description());
    }
  }
}

}  // namespace

Nib::Nib(std::string name, std::shared_ptr<Bundle> bundle)
    : name_(std::move(name)), bundle_(bundle ? std::move(bundle) : Bundle::main()) {
}

Nib Nib::fromData(std::vector<std::uint8_t> data, std::shared_ptr<Bundle> bundle) {
  Nib nib("(data)", std::move(bundle));
  nib.data_ = std::move(data);
  return nib;
}

std::optional<std::vector<std::uint8_t>> Nib::load() const {
  if (data_) return data_;
  return bundle_->dataForResource(name_, "nib");
}

bool Nib::exists() const {
  return data_ || bundle_->pathForResource(name_, "nib") ||
         bundle_->dataForResource(name_, "nib");  // an embedded bundle has no paths
}

std::vector<std::shared_ptr<Object>> Nib::instantiate(const std::shared_ptr<Object>& owner) const {
  const ActiveNib key{bundle_.get(), name_, data_ ? data_->data() : nullptr};
  auto report = [this](const std::string& reason) {
    Console::print("Nib \"" + name_ + "\": " + reason);
    return std::vector<std::shared_ptr<Object>>{};
  };
  if (std::find(tActive.begin(), tActive.end(), key) != tActive.end()) {
    return report("loaded again while it is being loaded (it contains itself)");
  }
  auto data = load();
  if (!data) return report("no such resource in " + bundle_->bundleIdentifier());
  const std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
  if (jsonNestsDeeperThan(text, kMaxNesting)) return report("nested too deeply");
  const auto document = json::parse(text, nullptr, false);
  if (document.is_discarded()) return report("not JSON");

  ActiveScope scope(key);
  Builder builder(bundle_);
  auto objects = builder.build(document);
  if (!objects) return report(objects.error());
  builder.reportMissingImages();
  if (owner) connect(builder.connections(), owner, name_);
  for (const auto& [object, awake] : builder.made()) {
    if (awake) awake(*object);
  }
  return std::move(*objects);
}

}  // namespace platform
