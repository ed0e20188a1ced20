#include "Platform/Foundation/URLComponents.h"

#include <array>
#include <charconv>

#include <boost/url/encode.hpp>
#include <boost/url/parse.hpp>
#include <boost/url/pct_string_view.hpp>
#include <boost/url/rfc/pchars.hpp>
#include <boost/url/rfc/sub_delim_chars.hpp>
#include <boost/url/rfc/unreserved_chars.hpp>
#include <boost/url/url_view.hpp>

namespace platform {
namespace {

namespace urls = boost::urls;

constexpr auto kPathChars = urls::pchars + '/';
constexpr auto kHostChars = urls::unreserved_chars + urls::sub_delim_chars;

bool isIPLiteral(std::string_view host) {
  return host.size() >= 2 && host.front() == '[' && host.back() == ']';
}

// In a reference with neither scheme nor authority, a ":" in the first segment would be
// read as the end of a scheme; escaping it keeps the same decoded path.
std::string escapeColonsInFirstSegment(std::string_view path) {
  std::string out;
  const auto slash = path.find('/');
  const auto first = path.substr(0, slash);
  for (char c : first) {
    if (c == ':') {
      out += "%3A";
    } else {
      out += c;
    }
  }
  if (slash != std::string_view::npos) out += path.substr(slash);
  return out;
}

std::optional<std::string> optionalString(bool present, std::string_view text) {
  if (!present) return std::nullopt;
  return std::string(text);
}

}  // namespace

// One pass with a table, straight into the result's buffer: every event crosses here with
// its whole document.
std::string percentEncodeQueryValue(std::string_view value) {
  static constexpr auto kUnreserved = [] {
    std::array<bool, 256> table{};
    for (unsigned c = 0; c < 256; ++c) table[c] = urls::unreserved_chars(static_cast<char>(c));
    return table;
  }();
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.resize_and_overwrite(value.size() * 3, [value](char* out, std::size_t) {
    char* next = out;
    for (const char c : value) {
      const auto byte = static_cast<unsigned char>(c);
      if (kUnreserved[byte]) {
        *next++ = c;
      } else {
        *next++ = '%';
        *next++ = kHex[byte >> 4];
        *next++ = kHex[byte & 0xF];
      }
    }
    return static_cast<std::size_t>(next - out);
  });
  return encoded;
}

std::optional<std::string> percentDecode(std::string_view text) {
  auto checked = urls::make_pct_string_view(text);
  if (!checked) return std::nullopt;
  return checked->decode();
}

URLComponents::URLComponents(const URL& url) {
  const auto view = *urls::parse_uri_reference(url.absoluteString());
  scheme_ = optionalString(view.has_scheme(), view.scheme());
  if (view.has_authority()) {
    userinfo_ = optionalString(view.has_userinfo(), view.encoded_userinfo());
    host_ = std::string(view.encoded_host());
    port_ = optionalString(view.has_port(), view.port());
  }
  path_ = view.encoded_path();
  query_ = optionalString(view.has_query(), view.encoded_query());
  fragment_ = optionalString(view.has_fragment(), view.encoded_fragment());
}

std::optional<URLComponents> URLComponents::make(std::string_view text) {
  auto url = URL::make(text);
  if (!url) return std::nullopt;
  return URLComponents(*url);
}

std::optional<std::string> URLComponents::host() const {
  if (!host_) return std::nullopt;
  if (isIPLiteral(*host_)) return host_->substr(1, host_->size() - 2);
  return percentDecode(*host_);
}

void URLComponents::setHost(std::optional<std::string_view> host) {
  if (!host) {
    host_.reset();
  } else if (host->find(':') == std::string_view::npos) {
    host_ = urls::encode(*host, kHostChars);
  } else if (isIPLiteral(*host)) {
    host_ = std::string(*host);
  } else {
    // Whether it is a valid address is checked when the URL is put together.
    host_ = "[" + std::string(*host) + "]";
  }
}

std::optional<int> URLComponents::port() const {
  if (!port_ || port_->empty()) return std::nullopt;
  int value = 0;
  const auto* end = port_->data() + port_->size();
  const auto [stop, ec] = std::from_chars(port_->data(), end, value);
  if (ec != std::errc{} || stop != end) return std::nullopt;
  return value;
}

void URLComponents::setPort(std::optional<int> port) {
  if (port) {
    port_ = std::to_string(*port);
  } else {
    port_.reset();
  }
}

std::string URLComponents::path() const {
  return percentDecode(path_).value_or(path_);
}

void URLComponents::setPath(std::string_view path) {
  path_ = urls::encode(path, kPathChars);
}

std::optional<std::vector<URLQueryItem>> URLComponents::queryItems() const {
  if (!query_) return std::nullopt;
  std::vector<URLQueryItem> items;
  if (query_->empty()) return items;
  std::string_view rest = *query_;
  while (true) {
    const auto amp = rest.find('&');
    const auto pair = rest.substr(0, amp);
    const auto eq = pair.find('=');
    URLQueryItem item;
    const auto name = pair.substr(0, eq);
    item.name = percentDecode(name).value_or(std::string(name));
    if (eq != std::string_view::npos) {
      const auto value = pair.substr(eq + 1);
      item.value = percentDecode(value).value_or(std::string(value));
    }
    items.push_back(std::move(item));
    if (amp == std::string_view::npos) break;
    rest.remove_prefix(amp + 1);
  }
  return items;
}

void URLComponents::setQueryItems(const std::optional<std::vector<URLQueryItem>>& items) {
  if (!items) {
    query_.reset();
    return;
  }
  std::string query;
  for (std::size_t i = 0; i < items->size(); ++i) {
    const auto& item = (*items)[i];
    if (i > 0) query += '&';
    query += percentEncodeQueryValue(item.name);
    if (item.value) {
      query += '=';
      query += percentEncodeQueryValue(*item.value);
    }
  }
  query_ = std::move(query);
}

std::optional<std::string> URLComponents::string() const {
  const bool hasAuthority = userinfo_ || host_ || port_;
  const bool firstSegmentReadsAsScheme = !scheme_ && !hasAuthority && !path_.starts_with('/');
  const std::string path = firstSegmentReadsAsScheme ? escapeColonsInFirstSegment(path_) : path_;

  std::string text;
  if (scheme_) text += *scheme_ + ":";
  if (hasAuthority) {
    text += "//";
    if (userinfo_) text += *userinfo_ + "@";
    text += host_.value_or("");
    if (port_) text += ":" + *port_;
  }
  text += path;
  if (query_) text += "?" + *query_;
  if (fragment_) text += "#" + *fragment_;

  // Pieces that are each fine can still run together into a different URL ("//h" + "a"
  // reads as host "ha"); accept the text only if it is a URL that reads back as the pieces
  // written.
  if (text.empty()) return text;
  if (!URL::make(text)) return std::nullopt;
  const auto v = *urls::parse_uri_reference(text);
  const bool same =
      optionalString(v.has_scheme(), v.scheme()) == scheme_ && v.has_authority() == hasAuthority &&
      (!hasAuthority || (optionalString(v.has_userinfo(), v.encoded_userinfo()) == userinfo_ &&
                         v.encoded_host() == host_.value_or("") &&
                         optionalString(v.has_port(), v.port()) == port_)) &&
      v.encoded_path() == path && optionalString(v.has_query(), v.encoded_query()) == query_ &&
      optionalString(v.has_fragment(), v.encoded_fragment()) == fragment_;
  if (!same) return std::nullopt;
  return text;
}

std::optional<URL> URLComponents::url() const {
  auto text = string();
  if (!text) return std::nullopt;
  return URL::make(*text);
}

}  // namespace platform
