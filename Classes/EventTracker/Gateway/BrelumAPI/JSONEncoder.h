#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "Classes/EventTracker/Gateway/BrelumAPI/EncodingError.h"
#include "Platform/Foundation/Date.h"

namespace brelum {

// Writes values as compact JSON text, members in the order they are written.
//
// A value takes part by offering `JSONEncoder::Result encode(JSONEncoder::KeyedContainer&)
// const`, writing its members into the container it is handed. Writing stops at the first
// value the encoder refuses (a number that is not finite): every later write of the same
// encoding is ignored, every container reports that first error, and encode() returns it
// instead of any text.
//
// Text is written as UTF-8, escaping what JSON requires (the quote, the backslash, control
// characters) and the non-characters U+FFFE and U+FFFF, which receivers that keep text as
// XML (message queues among them) refuse raw. Host strings that are not valid UTF-8 are
// written with U+FFFD in place of the bad bytes rather than failing the document.
//
// Members are written straight into the text as they come, with no tree in between: a
// document is made for every event. Writing a key a second time into the same object
// replaces the earlier value where it stood.
//
// Settings are read while encoding; an encoder is meant for one thread at a time.
class JSONEncoder {
 public:
  // How member keys reach the text.
  enum class KeyEncodingStrategy {
    useDefaultKeys,      // as given
    convertToSnakeCase,  // through convertToSnakeCase() below
  };

  // How dates are written.
  struct DeferredToDate {};  // a number: seconds since 2001-01-01 00:00 UTC
  struct Formatted {         // a string: the formatter's text for the date
    std::function<std::string(platform::Date)> format;
  };
  using DateEncodingStrategy = std::variant<DeferredToDate, Formatted>;

  // Dates as `formatter.string(date)`; the strategy keeps its own copy of the formatter.
  template <class Formatter>
  [[nodiscard]] static DateEncodingStrategy formatted(Formatter formatter) {
    return Formatted{
        [formatter = std::move(formatter)](platform::Date date) { return formatter.string(date); }};
  }

  using Result = std::expected<void, EncodingError>;

  // One JSON object being written. A container is handed to the value that fills it and is
  // valid only during that call.
  class KeyedContainer {
   public:
    void encode(std::string_view key, std::string_view value);
    void encode(std::string_view key, const char* value) { encode(key, std::string_view(value)); }
    void encode(std::string_view key, const std::string& value) {
      encode(key, std::string_view(value));
    }
    // Only a real bool: a pointer or number must not turn into a flag.
    template <std::same_as<bool> Bool>
    void encode(std::string_view key, Bool value) {
      encodeBool(key, value);
    }
    // A number that is not finite fails the encoding.
    void encode(std::string_view key, double value);
    void encode(std::string_view key, std::uint64_t value);
    // By the encoder's date strategy.
    void encode(std::string_view key, platform::Date value);

    // A nested object filled by `value.encode(container)`.
    template <class T>
    requires requires(const T& v, KeyedContainer& c) {
      { v.encode(c) } -> std::same_as<Result>;
    }
    void encode(std::string_view key, const T& value) {
      nestedContainer(key, [&value](KeyedContainer& nested) { (void)value.encode(nested); });
    }

    // Coding keys: any enumeration with a `rawValue` giving the key text.
    template <class Key, class Value>
    requires std::is_enum_v<Key> && requires(Key k) {
      { rawValue(k) } -> std::convertible_to<std::string_view>;
    }
    void encode(Key key, const Value& value) { encode(std::string_view(rawValue(key)), value); }

    // A nested object under `key`, filled by `fill(KeyedContainer&)` before anything else
    // is written here.
    template <class Fill>
    void nestedContainer(std::string_view key, Fill&& fill) {
      KeyedContainer nested = openNested(key);
      std::forward<Fill>(fill)(nested);
      closeNested(nested);
    }
    template <class Key, class Fill>
    requires std::is_enum_v<Key>
    void nestedContainer(Key key, Fill&& fill) {
      nestedContainer(std::string_view(rawValue(key)), std::forward<Fill>(fill));
    }

    // The first failure of this encoding, if any.
    [[nodiscard]] Result result() const;

   private:
    friend class JSONEncoder;
    struct Session;

    KeyedContainer(Session& session, std::size_t firstMember, const KeyedContainer* parent,
                   std::string_view key)
        : session_(&session), firstMember_(firstMember), parent_(parent), key_(key) {}

    // Writes the key of a new member; false once the encoding failed (write nothing then).
    bool beginMember(std::string_view key);
    // Ends the member begun last, its value written. A key this object had already moves
    // its new value into the earlier member's place.
    void endMember();
    void fail(std::string_view key, std::string description);
    void encodeBool(std::string_view key, bool value);
    KeyedContainer openNested(std::string_view key);
    void closeNested(const KeyedContainer& nested);

    Session* session_;
    // This object's members are those of the session's list from here on: the objects
    // being written are nested, so the list is a stack of their members.
    std::size_t firstMember_;
    // The container this one is nested in and its key there, for the path of an error.
    const KeyedContainer* parent_;
    std::string_view key_;
  };

  JSONEncoder() = default;
  [[nodiscard]] static std::shared_ptr<JSONEncoder> make();

  [[nodiscard]] KeyEncodingStrategy keyEncodingStrategy() const { return keyEncodingStrategy_; }
  void setKeyEncodingStrategy(KeyEncodingStrategy strategy) { keyEncodingStrategy_ = strategy; }

  [[nodiscard]] const DateEncodingStrategy& dateEncodingStrategy() const {
    return dateEncodingStrategy_;
  }
  void setDateEncodingStrategy(DateEncodingStrategy strategy) {
    dateEncodingStrategy_ = std::move(strategy);
  }

  // The JSON text of `value`: one object holding what value.encode(container) writes.
  template <class T>
  requires requires(const T& v, KeyedContainer& c) {
    { v.encode(c) } -> std::same_as<Result>;
  }
  [[nodiscard]] std::expected<std::string, EncodingError> encode(const T& value) const {
    return encodeObject([&value](KeyedContainer& container) { (void)value.encode(container); });
  }

 private:
  [[nodiscard]] std::expected<std::string, EncodingError> encodeObject(
      const std::function<void(KeyedContainer&)>& fill) const;

  KeyEncodingStrategy keyEncodingStrategy_ = KeyEncodingStrategy::useDefaultKeys;
  DateEncodingStrategy dateEncodingStrategy_ = DeferredToDate{};
};

// Snake case the way the encoder's key strategy spells it: after the first character, a
// word starts at each upper-case letter; a run of upper-case letters is one word whose last
// letter starts the next word when a lower-case letter follows ("myURLValue" gives
// "my_url_value"); the words are lower-cased and joined by "_". A key without upper-case
// letters after its first character comes back as it was, lower-cased. Only ASCII letters
// have a case here.
[[nodiscard]] std::string convertToSnakeCase(std::string_view key);

}  // namespace brelum
