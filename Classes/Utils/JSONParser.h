#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Classes/Utils/JSONMap.h"

namespace brelum {

// Turns response bodies into models. Every failure (bytes that are not UTF-8, text that is
// not JSON, a document or a value of the wrong shape) is an absent result; nothing throws.
// Stateless, so any number of parses may run at once on any threads.
struct JSONParser {
  // With `keyPath`, a document that is a JSON object holding that key (one top-level key,
  // matched exactly) is answered from that value alone: an object gives a model, anything
  // else gives nothing, without falling back. Otherwise (no key path, the key missing, the
  // document no object or no JSON) the whole document must be a JSON object.
  template <Mappable T>
  [[nodiscard]] static std::optional<T> parseOne(
      std::span<const std::uint8_t> data, std::optional<std::string_view> keyPath = std::nullopt) {
    std::optional<T> result;
    mapObject(data, keyPath, [&result](const JSONMap& map) { result = map.model<T>(); });
    return result;
  }

  // As parseOne, for lists: the value under the key must be an array of JSON objects; the
  // whole document may be an array of JSON objects or a single JSON object (a list of one).
  template <Mappable T>
  [[nodiscard]] static std::optional<std::vector<T>> parseArray(
      std::span<const std::uint8_t> data, std::optional<std::string_view> keyPath = std::nullopt) {
    std::optional<std::vector<T>> result;
    mapObjects(data, keyPath, [&result](std::span<const JSONMap> maps) {
      result.emplace();
      result->reserve(maps.size());
      for (const auto& map : maps) result->push_back(map.model<T>());
    });
    return result;
  }

  // The JSON text of a JSON object, pretty-printed with line breaks and indentation when
  // `readable`, compact otherwise. Nothing for a value that is not an object, or that holds
  // something with no JSON text: a non-finite number, binary data, a string that is not UTF-8.
  [[nodiscard]] static std::optional<std::string> dictionaryToString(
      const nlohmann::json& dictionary, bool readable);

 private:
  // Find the object (or objects) to map and call `map` once, or not at all when the
  // result is absent.
  static void mapObject(std::span<const std::uint8_t> data, std::optional<std::string_view> keyPath,
                        const std::function<void(const JSONMap&)>& map);
  static void mapObjects(std::span<const std::uint8_t> data,
                         std::optional<std::string_view> keyPath,
                         const std::function<void(std::span<const JSONMap>)>& map);
};

}  // namespace brelum
