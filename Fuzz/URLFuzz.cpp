// Feeds arbitrary bytes to URL parsing, path appending, query building and the components
// round trip; any broken invariant traps so the fuzzer records the input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/URLComponents.h"
#include "Platform/Foundation/URLQueryItem.h"

namespace {

using platform::URL;
using platform::URLComponents;
using platform::URLQueryItem;

void check(bool condition) {
  if (!condition) __builtin_trap();
}

bool isUnreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

void readEverything(const URL& url) {
  check(!url.absoluteString().empty());
  (void)url.scheme();
  (void)url.host();
  (void)url.port();
  (void)url.path();
  (void)url.query();
  (void)url.fragment();
  (void)url.lastPathComponent();
}

// Parsing keeps the text; unchanged components give it back.
void parseAndRoundTrip(std::string_view text) {
  const auto url = URL::make(text);
  if (!url) return;
  check(url->absoluteString() == text);
  readEverything(*url);
  const URLComponents components(*url);
  check(components.string() == text);
  check(components.url() == url);
}

// Appending always gives a valid URL that keeps query and fragment and ends in the
// component.
void append(std::string_view base, std::string_view component) {
  const auto url = URL::make(base);
  if (!url) return;
  const URL appended = url->appendingPathComponent(component);
  check(url->absoluteString() == base);
  check(URL::make(appended.absoluteString()) == appended);
  check(appended.query() == url->query());
  check(appended.fragment() == url->fragment());
  check(appended.scheme() == url->scheme());
  check(appended.host() == url->host());
  check(appended.port() == url->port());
  if (!component.empty() && component.find('/') == std::string_view::npos) {
    check(appended.lastPathComponent() == component);
  }
  readEverything(appended);
}

// Query items survive encoding, and the encoded query holds only what form decoding
// reads literally.
void queryItems(std::string_view base, std::string_view value) {
  auto components = URLComponents::make(base).value_or(URLComponents());
  const std::vector<URLQueryItem> items{{std::string(value), std::string(value)},
                                        {"k", std::nullopt}};
  components.setQueryItems(items);
  check(components.queryItems() == items);
  check(platform::percentDecode(platform::percentEncodeQueryValue(value)) == std::string(value));
  for (char c : platform::percentEncodeQueryValue(value)) check(isUnreserved(c) || c == '%');
  const auto url = components.url();
  if (!url) return;
  check(URLComponents(*url).queryItems() == items);
}

// Setters take any bytes: the result is either refused or a URL that reads back as set.
void setters(std::string_view text) {
  URLComponents components;
  components.setScheme("https");
  components.setHost(text);
  components.setPath("/" + std::string(text));
  if (const auto url = components.url()) {
    const URLComponents reread(*url);
    check(reread.host() == components.host());
    check(reread.path() == "/" + std::string(text));
  }
  URLComponents relative;
  relative.setPath(text);
  if (const auto string = relative.string(); string && !string->empty()) {
    const auto reread = URLComponents::make(*string);
    check(reread && reread->path() == text);
  }
  (void)platform::percentDecode(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  parseAndRoundTrip(input);
  // The first newline splits a base URL from a component or value.
  const auto newline = input.find('\n');
  const auto base = input.substr(0, newline);
  const auto rest =
      newline == std::string_view::npos ? std::string_view{} : input.substr(newline + 1);
  append(base, rest);
  queryItems(base, rest);
  setters(rest.empty() ? input : rest);
  return 0;
}
