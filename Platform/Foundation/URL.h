#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

// A URL or a relative reference (an RFC 3986 URI-reference), kept as the exact text it was
// made from. Components are read from that text on demand, so a URL never drifts from the
// string the network layer sends.
class URL {
 public:
  // Answers nothing for the empty text and for text a URI-reference does not allow
  // (spaces, control characters, non-ASCII bytes, "<", ">", '"', "{", "}", "|", "\",
  // "^", "`", a "%" not followed by two hex digits, a malformed authority...).
  // Neither a scheme nor a host is required.
  [[nodiscard]] static std::optional<URL> make(std::string_view text);

  // The text the URL was made from, unchanged (also for a relative reference).
  [[nodiscard]] const std::string& absoluteString() const { return text_; }

  // Empty for a relative reference.
  [[nodiscard]] std::string scheme() const;
  // Percent-decoded, without the brackets of an IP literal; nothing when the URL has no
  // authority or its host is empty ("file:///tmp").
  [[nodiscard]] std::optional<std::string> host() const;
  // Nothing when absent, empty ("http://h:/") or beyond the range of int.
  [[nodiscard]] std::optional<int> port() const;
  // Percent-decoded; a trailing "/" is kept.
  [[nodiscard]] std::string path() const;
  // Still percent-encoded, so that the bytes a server receives stay visible.
  [[nodiscard]] std::optional<std::string> query() const;
  // Percent-decoded.
  [[nodiscard]] std::optional<std::string> fragment() const;
  // The last non-empty segment of the decoded path; "/" for the root path, empty for an
  // empty path.
  [[nodiscard]] std::string lastPathComponent() const;

  // Appends one path component, keeping query and fragment. A "/" goes between the path
  // and `component` unless the path already ends in one, so "https://h" gives
  // "https://h/component". Slashes inside `component` stay separators; every other byte a
  // path does not allow (space, "?", "#", "%", non-ASCII...) is percent-encoded.
  // An empty component still adds the separator: "https://h/a" gives "https://h/a/", as
  // the phone platform's URL does.
  [[nodiscard]] URL appendingPathComponent(std::string_view component) const;
  void appendPathComponent(std::string_view component);

  friend bool operator==(const URL&, const URL&) = default;

 private:
  explicit URL(std::string text) : text_(std::move(text)) {}

  std::string text_;
};

}  // namespace platform
