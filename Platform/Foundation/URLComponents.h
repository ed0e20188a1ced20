#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/URLQueryItem.h"

namespace platform {

// Percent-encodes a query name or value so that form decoding as servers do it
// (split on "&" and "=", "+" as space, %XX decoded) restores it byte for byte: every byte
// but the RFC 3986 unreserved ones (letters, digits, "-", ".", "_", "~") is escaped, a
// space as "%20". Fit for form bodies as well as query strings.
[[nodiscard]] std::string percentEncodeQueryValue(std::string_view value);

// Decodes %XX escapes (a "+" stays a "+"); nothing when a "%" is not followed by two hex
// digits.
[[nodiscard]] std::optional<std::string> percentDecode(std::string_view text);

// A URL taken apart into settable pieces and put back together. Setters take decoded
// text and escape what the piece does not allow; user info and fragment of the source
// URL are kept as they were.
class URLComponents {
 public:
  URLComponents() = default;
  explicit URLComponents(const URL& url);
  // Nothing when URL::make refuses the text.
  [[nodiscard]] static std::optional<URLComponents> make(std::string_view text);

  [[nodiscard]] const std::optional<std::string>& scheme() const { return scheme_; }
  void setScheme(std::optional<std::string> scheme) { scheme_ = std::move(scheme); }

  // Decoded, without the brackets of an IP literal.
  [[nodiscard]] std::optional<std::string> host() const;
  // A host containing ":" is an IPv6 literal and gets brackets (given ones are kept).
  void setHost(std::optional<std::string_view> host);

  // Nothing when absent, empty or beyond the range of int.
  [[nodiscard]] std::optional<int> port() const;
  // A negative port makes url() and string() answer nothing.
  void setPort(std::optional<int> port);

  // Decoded.
  [[nodiscard]] std::string path() const;
  void setPath(std::string_view path);

  // Decoded; a "+" stays a "+". Nothing when there is no query, empty for "?".
  [[nodiscard]] std::optional<std::vector<URLQueryItem>> queryItems() const;
  // Names and values are escaped with percentEncodeQueryValue. An empty list leaves an
  // empty query ("?"); nothing removes the query. As with any query text, a single item
  // with an empty name and no value reads back as no items.
  void setQueryItems(const std::optional<std::vector<URLQueryItem>>& items);

  // Nothing when the pieces do not make a URL: an invalid scheme, a path that does not
  // start with "/" next to an authority, a path starting "//" without one, a negative
  // port. url() also refuses the empty text.
  [[nodiscard]] std::optional<URL> url() const;
  [[nodiscard]] std::optional<std::string> string() const;

 private:
  // Pieces are held percent-encoded, as they appear in the text.
  std::optional<std::string> scheme_;
  std::optional<std::string> userinfo_;
  std::optional<std::string> host_;  // an IP literal keeps its brackets
  std::optional<std::string> port_;  // as written: may be empty or very long
  std::string path_;
  std::optional<std::string> query_;
  std::optional<std::string> fragment_;
};

}  // namespace platform
