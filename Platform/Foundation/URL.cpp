#include "Platform/Foundation/URL.h"

#include <charconv>

#include <boost/url/encode.hpp>
#include <boost/url/parse.hpp>
#include <boost/url/rfc/pchars.hpp>
#include <boost/url/url_view.hpp>

#include "Platform/Dispatch/FatalError.h"

namespace platform {
namespace {

namespace urls = boost::urls;

// What a path segment may hold without escaping, plus "/" so that a component may name
// several segments.
constexpr auto kPathChars = urls::pchars + '/';

// Only called on text that make() accepted, so a failure here is a fault of ours.
urls::url_view parsed(const std::string& text) {
  auto result = urls::parse_uri_reference(text);
  if (!result) fatalError("URL: stored text no longer parses: " + text);
  return *result;
}

}  // namespace

std::optional<URL> URL::make(std::string_view text) {
  // The empty text is a valid reference to "this document", but never a useful URL.
  if (text.empty()) return std::nullopt;
  const auto view = urls::parse_uri_reference(text);
  if (!view) return std::nullopt;
  // Boost.URL 1.81 lets a path follow the authority without a "/", reading "http://h:8x/"
  // as port 8 and path "x/", and "http://1.2.3.4.example/" as host 1.2.3.4 and path
  // ".example/". After an authority the path must be empty or start with "/"; refusing
  // the rest means the rare dotted host that begins like an IPv4 address is refused too.
  const std::string_view path = view->encoded_path();
  if (view->has_authority() && !path.empty() && path.front() != '/') return std::nullopt;
  return URL(std::string(text));
}

std::string URL::scheme() const {
  return std::string(parsed(text_).scheme());
}

std::optional<std::string> URL::host() const {
  const auto view = parsed(text_);
  if (!view.has_authority() || view.encoded_host_address().empty()) return std::nullopt;
  return view.encoded_host_address().decode();
}

std::optional<int> URL::port() const {
  const auto view = parsed(text_);
  const std::string_view digits = view.port();
  if (digits.empty()) return std::nullopt;
  int value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

std::string URL::path() const {
  return parsed(text_).encoded_path().decode();
}

std::optional<std::string> URL::query() const {
  const auto view = parsed(text_);
  if (!view.has_query()) return std::nullopt;
  return std::string(view.encoded_query());
}

std::optional<std::string> URL::fragment() const {
  const auto view = parsed(text_);
  if (!view.has_fragment()) return std::nullopt;
  return view.encoded_fragment().decode();
}

std::string URL::lastPathComponent() const {
  // Split the encoded path: a "%2F" inside a segment is data, not a separator.
  std::string_view path = parsed(text_).encoded_path();
  if (path.empty()) return {};
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  if (path.empty()) return "/";
  const auto slash = path.rfind('/');
  const auto segment = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return urls::make_pct_string_view(segment)->decode();
}

URL URL::appendingPathComponent(std::string_view component) const {
  const auto view = parsed(text_);
  const std::string_view path = view.encoded_path();
  const auto start = static_cast<std::size_t>(path.data() - text_.data());

  std::string newPath(path);
  if (newPath.empty() || newPath.back() != '/') newPath += '/';
  newPath += urls::encode(component, kPathChars);
  // Without an authority a path starting "//" would be read back as one; "/." keeps the
  // same path (dot segments resolve away) while staying unambiguous.
  if (!view.has_authority() && newPath.starts_with("//")) newPath.insert(0, "/.");

  std::string text = text_.substr(0, start);
  text += newPath;
  text += std::string_view(text_).substr(start + path.size());
  auto url = make(text);
  if (!url) fatalError("URL: appending a path component made an invalid URL: " + text);
  return std::move(*url);
}

void URL::appendPathComponent(std::string_view component) {
  *this = appendingPathComponent(component);
}

}  // namespace platform
