#include "Classes/EventTracker/Gateway/BrelumAPI/JSONEncoder.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include <boost/container/small_vector.hpp>
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
void writeString(std::string& out, std::string_view text) {
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

// A finite number as the JSON library's dump() writes it ("1765058560750.0", "1e+16"),
// through the library's own number writer, so that the text stays what it always was.
void writeNumber(std::string& out, double value) {
  char digits[64];
  char* end = nlohmann::detail::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, static_cast<std::size_t>(end - digits));
}

// Offsets into the text of one member: its key in quotes, then its value after the ":".
struct Member {
  std::size_t keyBegin;
  std::size_t keyEnd;
  std::size_t valueBegin;
  std::size_t valueEnd;
};

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
  std::string text;
  // The members of every object still open, outermost first. Records hold fewer than this
  // many members together, so no allocation is made for them.
  boost::container::small_vector<Member, 32> members;
  std::optional<EncodingError> error;
};

bool JSONEncoder::KeyedContainer::beginMember(std::string_view key) {
  auto& session = *session_;
  if (session.error) return false;
  auto& text = session.text;
  if (session.members.size() > firstMember_) text += ',';
  const auto keyBegin = text.size();
  const bool convert =
      session.encoder.keyEncodingStrategy_ == KeyEncodingStrategy::convertToSnakeCase &&
      std::any_of(key.begin(), key.end(), isUpper);
  writeString(text, convert ? std::string_view(convertToSnakeCase(key)) : key);
  const auto keyEnd = text.size();
  text += ':';
  session.members.push_back(Member{keyBegin, keyEnd, text.size(), text.size()});
  return true;
}

void JSONEncoder::KeyedContainer::endMember() {
  auto& session = *session_;
  auto& text = session.text;
  auto& members = session.members;
  Member& added = members.back();
  added.valueEnd = text.size();
  const auto keyOf = [&text](const Member& m) {
    return std::string_view(text).substr(m.keyBegin, m.keyEnd - m.keyBegin);
  };
  const auto earlier =
      std::find_if(members.begin() + static_cast<std::ptrdiff_t>(firstMember_), members.end() - 1,
                   [&](const Member& m) { return keyOf(m) == keyOf(added); });
  if (earlier == members.end() - 1) return;
  // The new value takes the earlier one's place; the new member and its comma go.
  const std::string value = text.substr(added.valueBegin, added.valueEnd - added.valueBegin);
  text.resize(added.keyBegin - 1);
  members.pop_back();
  const auto oldSize = earlier->valueEnd - earlier->valueBegin;
  text.replace(earlier->valueBegin, oldSize, value);
  const auto shift = [delta =
                          static_cast<std::ptrdiff_t>(value.size() - oldSize)](std::size_t& at) {
    at = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(at) + delta);
  };
  shift(earlier->valueEnd);
  for (auto later = earlier + 1; later != members.end(); ++later) {
    shift(later->keyBegin);
    shift(later->keyEnd);
    shift(later->valueBegin);
    shift(later->valueEnd);
  }
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
  if (!beginMember(key)) return;
  writeString(session_->text, value);
  endMember();
}

void JSONEncoder::KeyedContainer::encodeBool(std::string_view key, bool value) {
  if (!beginMember(key)) return;
  session_->text += value ? "true" : "false";
  endMember();
}

void JSONEncoder::KeyedContainer::encode(std::string_view key, double value) {
  if (!std::isfinite(value)) return fail(key, describeNonFinite(value));
  if (!beginMember(key)) return;
  writeNumber(session_->text, value);
  endMember();
}

void JSONEncoder::KeyedContainer::encode(std::string_view key, std::uint64_t value) {
  if (!beginMember(key)) return;
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  session_->text.append(digits, end);
  endMember();
}

void JSONEncoder::KeyedContainer::encode(std::string_view key, platform::Date value) {
  const auto& strategy = session_->encoder.dateEncodingStrategy_;
  if (const auto* formatted = std::get_if<Formatted>(&strategy)) {
    if (!beginMember(key)) return;
    writeString(session_->text, formatted->format(value));
    endMember();
  } else {
    encode(key, value.timeIntervalSince1970() - kReferenceDateSince1970);
  }
}

JSONEncoder::KeyedContainer JSONEncoder::KeyedContainer::openNested(std::string_view key) {
  if (beginMember(key)) session_->text += '{';
  return KeyedContainer(*session_, session_->members.size(), this, key);
}

void JSONEncoder::KeyedContainer::closeNested(const KeyedContainer& nested) {
  if (session_->error) return;
  session_->text += '}';
  session_->members.resize(nested.firstMember_);
  endMember();
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
  KeyedContainer::Session session{*this, {}, {}, std::nullopt};
  session.text.reserve(1024);
  session.text += '{';
  KeyedContainer container(session, 0, nullptr, {});
  fill(container);
  if (session.error) return std::unexpected(std::move(*session.error));
  session.text += '}';
  return std::move(session.text);
}

}  // namespace brelum
