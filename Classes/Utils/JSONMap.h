#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace brelum {

class JSONMap;

// A response model: default construction gives every field its default, and
// `mapping(map)` then reads the fields that the JSON object behind `map` holds.
template <class T>
concept Mappable = std::default_initializable<T> && requires(T& model, const JSONMap& map) {
  model.mapping(map);
};

// Read access to one JSON object for the response models. Every model reads its fields
// through the `read` overloads, so all of them apply the same rules: a field only takes a
// value of its own JSON kind, and any other value (null included) or a missing key leaves
// the field as it was (optional fields stay absent, others keep their default). Keys are
// top-level members of the object, matched exactly; a dot has no special meaning.
//
// A map only refers to the object; the object must outlive it.
class JSONMap {
 public:
  // `object` must be a JSON object.
  explicit JSONMap(const nlohmann::json& object) : object_(&object) {}

  // A JSON string only.
  void read(std::string_view key, std::optional<std::string>& field) const;
  void read(std::string_view key, std::string& field) const;

  // A JSON number only (integer or not).
  void read(std::string_view key, double& field) const;

  // A JSON number with any fraction dropped toward zero. Numbers beyond the range of the
  // field saturate at its nearest end rather than wrap.
  void read(std::string_view key, std::int64_t& field) const;

  // A JSON object, mapped into a fresh model.
  template <Mappable T>
  void read(std::string_view key, std::optional<T>& field) const {
    if (auto inner = objectAt(key)) field = inner->template model<T>();
  }

  // An array whose elements are all JSON objects, one fresh model each, in array order.
  // One element of any other kind refuses the whole array.
  template <Mappable T>
  void read(std::string_view key, std::vector<T>& field) const {
    auto elements = objectsAt(key);
    if (!elements) return;
    std::vector<T> models;
    models.reserve(elements->size());
    for (const auto& element : *elements) models.push_back(element.template model<T>());
    field = std::move(models);
  }

  // One map per element when `value` is an array of JSON objects only; nothing otherwise.
  [[nodiscard]] static std::optional<std::vector<JSONMap>> objectsIn(const nlohmann::json& value);

  // A model of this object: defaults first, then its mapping.
  template <Mappable T>
  [[nodiscard]] T model() const {
    T result;
    result.mapping(*this);
    return result;
  }

 private:
  [[nodiscard]] const nlohmann::json* valueAt(std::string_view key) const;
  [[nodiscard]] std::optional<JSONMap> objectAt(std::string_view key) const;
  [[nodiscard]] std::optional<std::vector<JSONMap>> objectsAt(std::string_view key) const;

  const nlohmann::json* object_;
};

}  // namespace brelum
