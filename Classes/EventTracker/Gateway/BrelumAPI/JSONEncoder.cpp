#include "Classes/EventTracker/Gateway/BrelumAPI/JSONEncoder.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

namespace brelum {
namespace {

// Seconds from 1970-01-01 to 2001-01-01, the reference date of DeferredToDate.
constexpr double kReferenceDateSince1970 = 978307200.0;

bool isUpper(char c) {
  return c >= 'A' && c <= 'Z';
}
bool isLower(char c) {
  return c >= 'a' && c <= 'z';
}
char toLower(char c) {
  return isUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}

// An object with room for the members records usually have, so that writing them does
// not move the members written before.
nlohmann::ordered_json emptyObject() {
  auto object = nlohmann::ordered_json::object();
  object.get_ref<nlohmann::ordered_json::object_t&>().reserve(12);
  return object;
}

// Whether the JSON library writes `text` as it is between the quotes: printable ASCII
// other than the quote and the backslash.
bool isPlain(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\';
  });
}

// The JSON library writes U+FFFE and U+FFFF raw (EF BF BE, EF BF BF). In UTF-8, 0xEF only
// ever starts a sequence, so these bytes are always those characters.
void escapeNonCharacters(std::string& out, std::size_t from) {
  constexpr std::string_view kPrefix = "\xEF\xBF";
  for (auto at = out.find(kPrefix, from); at != std::string::npos && at + 2 < out.size();
       at = out.find(kPrefix, at + 1)) {
    if (out[at + 2] == '\xBE') out.replace(at, 3, "\\ufffe");
    if (out[at + 2] == '\xBF') out.replace(at, 3, "\\uffff");
  }
}

// Everything not plain goes through the JSON library's own escaping. It replaces bytes that
// are not UTF-8 with U+FFFD rather than throwing: one bad host string must not cost the
// whole document.
void writeString(std::string& out, const std::string& text) {
  if (isPlain(text)) {
    out += '"';
    out += text;
    out += '"';
    return;
  }
  const auto start = out.size();
  out += nlohmann::ordered_json(text).dump(-1, ' ', false,
                                           nlohmann::ordered_json::error_handler_t::replace);
  escapeNonCharacters(out, start);
}

// Compact JSON text: what the JSON library's dump() writes, with U+FFFE and U+FFFF escaped.
// The library's serializer costs more than building the whole document (it decodes every byte
// of every string); this writes the common case, plain strings, directly and leaves escaping
// and number formatting to the library.
void writeCompact(std::string& out, const nlohmann::ordered_json& value) {
  using Json = nlohmann::ordered_json;
  switch (value.type()) {
    case Json::value_t::object: {
      out += '{';
      bool first = true;
      for (const auto& [key, member] : value.get_ref<const Json::object_t&>()) {
        if (!first) out += ',';
        first = false;
        writeString(out, key);
        out += ':';
        writeCompact(out, member);
      }
      out += '}';
      break;
    }
    case Json::value_t::array: {
      out += '[';
      bool first = true;
      for (const auto& element : value.get_ref<const Json::array_t&>()) {
        if (!first) out += ',';
        first = false;
        writeCompact(out, element);
      }
      out += ']';
      break;
    }
    case Json::value_t::string:
      writeString(out, value.get_ref<const std::string&>());
      break;
    case Json::value_t::boolean:
      out += value.get<bool>() ? "true" : "false";
      break;
    case Json::value_t::number_unsigned: {
      char digits[24];
      const auto end =
          std::to_chars(digits, digits + sizeof digits, value.get<std::uint64_t>()).ptr;
      out.append(digits, end);
      break;
    }
    default:  // null, signed and floating numbers, binary
      out += value.dump(-1, ' ', false, Json::error_handler_t::replace);
      break;
  }
}

std::string describeNonFinite(double value) {
  const char* name = std::isnan(value) ? "nan" : (value > 0 ? "infinity" : "-infinity");
  return std::string("Unable to encode Double.") + name + " directly in JSON.";
}

}  // namespace

std::string convertToSnakeCase(std::string_view key) {
  // Most keys are snake case already.
  if (std::none_of(key.begin(), key.end(), isUpper)) return std::string(key);
  std::string result;
  result.reserve(key.size() + 4);
  bool firstWord = true;
  auto appendWord = [&](std::size_t begin, std::size_t end) {
    if (!firstWord) result += '_';
    firstWord = false;
    for (std::size_t j = begin; j < end; ++j) result += toLower(key[j]);
  };
  // The first character never opens a new word.
  std::size_t wordStart = 0;
  std::size_t search = 1;
  const std::size_t end = key.size();
  while (true) {
    std::size_t upper = search;
    while (upper < end && !isUpper(key[upper])) ++upper;
    if (upper >= end) break;
    appendWord(wordStart, upper);
    std::size_t lower = upper;
    while (lower < end && !isLower(key[lower])) ++lower;
    if (lower >= end) {
      // Only capitals (and other characters) remain: they make the last word.
      wordStart = upper;
      break;
    }
    if (lower == upper + 1) {
      wordStart = upper;
    } else {
      // A run of capitals is a word of its own, up to the capital before the lower case.
      appendWord(upper, lower - 1);
      wordStart = lower - 1;
    }
    search = lower + 1;
  }
  appendWord(wordStart, end);
  return result;
}

struct JSONEncoder::KeyedContainer::Session {
  const JSONEncoder& encoder;
  std::optional<EncodingError> error;
};

nlohmann::ordered_json* JSONEncoder::KeyedContainer::slot(std::string_view key) {
  if (object_ == nullptr || session_->error) return nullptr;
  auto wireKey = session_->encoder.keyEncodingStrategy_ == KeyEncodingStrategy::convertToSnakeCase
                     ? convertToSnakeCase(key)
                     : std::string(key);
  auto& members = object_->get_ref<nlohmann::ordered_json::object_t&>();
  for (auto& member : members) {
    if (member.first == wireKey) return &member.second;
  }
  // Appended directly: the object's own insertion would copy the key once more.
  return &members.emplace_back(std::move(wireKey), nullptr).second;
}

void JSONEncoder::KeyedContainer::fail(std::string_view key, std::string description) {
  if (session_->error) return;
  // The path is put together only here, while every container above is still open.
  std::vector<std::string_view> keys{key};
  for (const auto* container = this; container->parent_ != nullptr;
       container = container->parent_) {
    keys.push_back(container->key_);
  }
  std::string path;
  for (auto k = keys.rbegin(); k != keys.rend(); ++k) {
    if (!path.empty()) path += '.';
    path += *k;
  }
  session_->error =
      EncodingError{EncodingError::Kind::invalidValue, std::move(path), std::move(description)};
}

void JSONEncoder::KeyedContainer::encode(std::string_view key, std::string_view value) {
  if (auto* member = slot(key)) *member = std::string(value);
}

void JSONEncoder::KeyedContainer::encodeBool(std::string_view key, bool value) {
  if (auto* member = slot(key)) *member = value;
}

void JSONEncoder::KeyedContainer::encode(std::string_view key, double value) {
  if (!std::isfinite(value)) return fail(key, describeNonFinite(value));
  if (auto* member = slot(key)) *member = value;
}

void JSONEncoder::KeyedContainer::encode(std::string_view key, std::uint64_t value) {
  if (auto* member = slot(key)) *member = value;
}

void JSONEncoder::KeyedContainer::encode(std::string_view key, platform::Date value) {
  const auto& strategy = session_->encoder.dateEncodingStrategy_;
  if (const auto* formatted = std::get_if<Formatted>(&strategy)) {
    if (auto* member = slot(key)) *member = formatted->format(value);
  } else {
    encode(key, value.timeIntervalSince1970() - kReferenceDateSince1970);
  }
}

JSONEncoder::KeyedContainer JSONEncoder::KeyedContainer::openNested(std::string_view key) {
  auto* member = slot(key);
  if (member != nullptr) *member = emptyObject();
  return KeyedContainer(*session_, member, this, key);
}

JSONEncoder::Result JSONEncoder::KeyedContainer::result() const {
  if (session_->error) return std::unexpected(*session_->error);
  return {};
}

std::shared_ptr<JSONEncoder> JSONEncoder::make() {
  return std::make_shared<JSONEncoder>();
}

std::expected<std::string, EncodingError> JSONEncoder::encodeObject(
    const std::function<void(KeyedContainer&)>& fill) const {
  KeyedContainer::Session session{*this, std::nullopt};
  auto root = emptyObject();
  KeyedContainer container(session, &root, nullptr, {});
  fill(container);
  if (session.error) return std::unexpected(std::move(*session.error));
  std::string text;
  text.reserve(1024);
  writeCompact(text, root);
  return text;
}

}  // namespace brelum
