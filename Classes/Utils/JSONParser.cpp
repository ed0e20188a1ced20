#include "Classes/Utils/JSONParser.h"

#include <cmath>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Platform/Foundation/JSONNesting.h"
#include "Platform/Foundation/UTF8.h"

namespace brelum {

namespace {

using nlohmann::json;

// Deeper documents are refused before parsing. No server document comes near it, and it
// keeps hostile input from costing unbounded memory or stack in anything that walks the tree.
constexpr std::size_t kMaxNestingDepth = 512;

// The body as a JSON document; nothing when it is not UTF-8 text holding one JSON value.
std::optional<json> parseDocument(std::span<const std::uint8_t> data) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  if (!platform::isValidUTF8(text) || platform::jsonNestsDeeperThan(text, kMaxNestingDepth))
    return std::nullopt;
  // JSON text never holds a raw NUL (strings must escape it), but the parser takes one as
  // the end of input and would accept whatever document precedes it.
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  json document = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded()) return std::nullopt;
  return document;
}

const json* memberAt(const json& object, std::string_view key) {
  const auto& members = object.get_ref<const json::object_t&>();
  const auto found = members.find(key);
  return found == members.end() ? nullptr : &found->second;
}

// Whether every value in the tree has a JSON text. The tree is walked with an explicit
// stack, so that a deeply nested value cannot exhaust the call stack here.
bool hasJSONForm(const json& root) {
  std::vector<const json*> pending{&root};
  while (!pending.empty()) {
    const json* value = pending.back();
    pending.pop_back();
    switch (value->type()) {
      case json::value_t::object:
        for (const auto& [key, member] : value->items()) {
          if (!platform::isValidUTF8(key)) return false;
          pending.push_back(&member);
        }
        break;
      case json::value_t::array:
        for (const auto& element : *value) pending.push_back(&element);
        break;
      case json::value_t::string:
        if (!platform::isValidUTF8(value->get_ref<const std::string&>())) return false;
        break;
      case json::value_t::number_float:
        if (!std::isfinite(value->get<double>())) return false;
        break;
      case json::value_t::binary:
      case json::value_t::discarded:
        return false;
      default:
        break;
    }
  }
  return true;
}

}  // namespace

void JSONParser::mapObject(std::span<const std::uint8_t> data,
                           std::optional<std::string_view> keyPath,
                           const std::function<void(const JSONMap&)>& map) {
  const auto document = parseDocument(data);
  if (!document || !document->is_object()) return;
  if (keyPath) {
    if (const json* value = memberAt(*document, *keyPath)) {
      // The key decides: a value of the wrong shape does not fall back to the document.
      if (value->is_object()) map(JSONMap(*value));
      return;
    }
  }
  map(JSONMap(*document));
}

void JSONParser::mapObjects(std::span<const std::uint8_t> data,
                            std::optional<std::string_view> keyPath,
                            const std::function<void(std::span<const JSONMap>)>& map) {
  const auto document = parseDocument(data);
  if (!document) return;
  if (keyPath && document->is_object()) {
    if (const json* value = memberAt(*document, *keyPath)) {
      if (auto maps = JSONMap::objectsIn(*value)) map(*maps);
      return;
    }
  }
  if (auto maps = JSONMap::objectsIn(*document)) {
    map(*maps);
  } else if (document->is_object()) {
    const JSONMap single(*document);
    map(std::span<const JSONMap>(&single, 1));
  }
}

std::optional<std::string> JSONParser::dictionaryToString(const json& dictionary, bool readable) {
  if (!dictionary.is_object() || !hasJSONForm(dictionary)) return std::nullopt;
  try {
    return dictionary.dump(readable ? 2 : -1, ' ', /*ensure_ascii=*/false,
                           json::error_handler_t::strict);
  } catch (const json::exception&) {
    return std::nullopt;
  }
}

}  // namespace brelum
