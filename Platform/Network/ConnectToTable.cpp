#include "Platform/Network/ConnectToTable.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include <boost/asio/ip/address.hpp>

#include "Platform/Foundation/ASCII.h"

namespace platform {
namespace {

using Code = ConnectToTable::Error::Code;

bool isAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isDigits(std::string_view text) {
  return !text.empty() && std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

// Letters, digits and inner hyphens in dot-separated labels of 1 to 63 characters, at most
// 253 in all. A last label of digits only would make "999.1.1.1" a name that looks like
// an address, so it is refused.
bool isDNSName(std::string_view name) {
  if (name.empty() || name.size() > 253) return false;
  std::string_view label;
  for (std::size_t start = 0; start <= name.size();) {
    auto dot = name.find('.', start);
    if (dot == std::string_view::npos) dot = name.size();
    label = name.substr(start, dot - start);
    if (label.empty() || label.size() > 63) return false;
    if (!isAlnum(label.front()) || !isAlnum(label.back())) return false;
    if (!std::ranges::all_of(label, [](char c) { return isAlnum(c) || c == '-'; })) return false;
    start = dot + 1;
  }
  return !isDigits(label);
}

// An IPv4 literal, or an IPv6 literal with or without brackets, in canonical text form.
// Zone indexes ("fe80::1%eth0") are refused: a route names one address, not an interface.
std::optional<std::string> canonicalAddress(std::string_view text) {
  bool bracketed = text.size() >= 2 && text.front() == '[' && text.back() == ']';
  if (bracketed) text = text.substr(1, text.size() - 2);
  if (text.empty() || text.find('%') != std::string_view::npos) return std::nullopt;
  boost::system::error_code ec;
  auto address = boost::asio::ip::make_address(std::string(text), ec);
  if (ec || (bracketed && !address.is_v6())) return std::nullopt;
  return address.to_string();
}

std::optional<std::string> canonicalHost(std::string_view text) {
  if (auto address = canonicalAddress(text)) return address;
  if (!isDNSName(text)) return std::nullopt;
  return asciiLowercased(text);
}

std::optional<std::uint16_t> parsePort(std::string_view text) {
  if (!isDigits(text) || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  if (value == 0 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::string bracketedIfIPv6(const std::string& host) {
  return host.find(':') == std::string::npos ? host : "[" + host + "]";
}

// Built by appending: g++ 12 misreads `"literal" + std::string(...)` under -O2 as an
// overlapping copy (-Wrestrict).
std::string quoted(std::string_view text, std::string_view rest) {
  std::string out;
  out.reserve(text.size() + rest.size() + 2);
  out.append("\"").append(text).append("\"").append(rest);
  return out;
}

std::unexpected<ConnectToTable::Error> refuse(Code code, std::string_view entry,
                                              std::string reason) {
  return std::unexpected(ConnectToTable::Error{code, std::string(entry), std::move(reason)});
}

std::expected<ConnectToTable::Entry, ConnectToTable::Error> makeEntry(std::string_view entryText,
                                                                      std::string_view host,
                                                                      std::string_view toAddress) {
  ConnectToTable::Entry entry;
  auto canonical = canonicalHost(host);
  if (!canonical) {
    return refuse(Code::badHost, entryText,
                  quoted(host, " is neither a DNS name nor an IP address"));
  }
  entry.host = std::move(*canonical);
  auto address = canonicalAddress(toAddress);
  if (!address) {
    return refuse(Code::badAddress, entryText, quoted(toAddress, " is not an IP address"));
  }
  entry.to.address = std::move(*address);
  return entry;
}

// Splits "host:port:address:port" into its four fields; a field that starts with "["
// runs to its "]", so that IPv6 literals may contain colons.
std::optional<std::array<std::string_view, 4>> splitFields(std::string_view text) {
  std::array<std::string_view, 4> fields;
  std::size_t at = 0;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    std::size_t end = at;
    if (at < text.size() && text[at] == '[') {
      end = text.find(']', at);
      if (end == std::string_view::npos) return std::nullopt;
      ++end;
    } else {
      end = std::min(text.find(':', at), text.size());
    }
    fields[i] = text.substr(at, end - at);
    bool last = i + 1 == fields.size();
    if (last ? end != text.size() : (end >= text.size() || text[end] != ':')) return std::nullopt;
    at = end + 1;
  }
  return fields;
}

std::expected<ConnectToTable::Entry, ConnectToTable::Error> parseEntry(std::string_view text) {
  auto fields = splitFields(text);
  if (!fields) return refuse(Code::malformed, text, "expected host:port:address:port");
  auto& [host, port, address, toPort] = *fields;
  auto entry = makeEntry(text, host, address);
  if (!entry) return entry;
  auto from = parsePort(port);
  auto to = parsePort(toPort);
  if (!from || !to) {
    return refuse(Code::badPort, text,
                  quoted(from ? toPort : port, " is not a port from 1 to 65535"));
  }
  entry->port = *from;
  entry->to.port = *to;
  return entry;
}

}  // namespace

std::string ConnectToTable::Error::message() const {
  return "connect-to entry \"" + entry + "\" refused: " + reason;
}

ConnectToTable& ConnectToTable::shared() {
  // Never destroyed: network threads may still consult it while the process exits.
  static ConnectToTable* const table = [] {
    auto* created = new ConnectToTable;
    if (auto loaded = created->addFromEnvironment(); !loaded) {
      std::fprintf(stderr, "%s: %s; the variable is ignored\n", kEnvironmentVariable,
                   loaded.error().message().c_str());
    }
    return created;
  }();
  return *table;
}

std::expected<void, ConnectToTable::Error> ConnectToTable::add(std::string_view host,
                                                               std::uint16_t port,
                                                               std::string_view toAddress,
                                                               std::uint16_t toPort) {
  std::string described = std::string(host) + ":" + std::to_string(port) + ":" +
                          std::string(toAddress) + ":" + std::to_string(toPort);
  auto entry = makeEntry(described, host, toAddress);
  if (!entry) return std::unexpected(std::move(entry.error()));
  if (port == 0 || toPort == 0) return refuse(Code::badPort, described, "port 0 is not a port");
  entry->port = port;
  entry->to.port = toPort;
  put(std::move(*entry));
  return {};
}

std::expected<void, ConnectToTable::Error> ConnectToTable::add(std::string_view entries) {
  auto parsed = parse(entries);
  if (!parsed) return std::unexpected(std::move(parsed.error()));
  for (auto& entry : *parsed) put(std::move(entry));
  return {};
}

std::expected<void, ConnectToTable::Error> ConnectToTable::addFromEnvironment() {
  const char* value = std::getenv(kEnvironmentVariable);
  if (value == nullptr) return {};
  return add(std::string_view(value));
}

void ConnectToTable::clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
  generation_.fetch_add(1, std::memory_order_release);
}

std::optional<ConnectToTable::Endpoint> ConnectToTable::route(std::string_view host,
                                                              std::uint16_t port) const {
  auto canonical = canonicalHost(host);
  if (!canonical) return std::nullopt;
  std::lock_guard lock(mutex_);
  for (const auto& entry : entries_) {
    if (entry.port == port && entry.host == *canonical) return entry.to;
  }
  return std::nullopt;
}

std::vector<ConnectToTable::Entry> ConnectToTable::entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

std::vector<std::string> ConnectToTable::curlConnectTo() const {
  std::vector<std::string> lines;
  for (const auto& entry : entries()) lines.push_back(render(entry));
  return lines;
}

std::expected<std::vector<ConnectToTable::Entry>, ConnectToTable::Error> ConnectToTable::parse(
    std::string_view text) {
  std::vector<Entry> entries;
  if (asciiTrimmed(text).empty()) return entries;
  for (std::size_t start = 0; start <= text.size();) {
    auto comma = std::min(text.find(',', start), text.size());
    auto entryText = asciiTrimmed(text.substr(start, comma - start));
    if (entryText.empty()) return refuse(Code::malformed, text, "the list has an empty entry");
    auto entry = parseEntry(entryText);
    if (!entry) return std::unexpected(std::move(entry.error()));
    if (std::ranges::any_of(entries, [&](const Entry& e) {
          return e.host == entry->host && e.port == entry->port;
        })) {
      return refuse(Code::duplicate, entryText, "a second route for the same host and port");
    }
    entries.push_back(std::move(*entry));
    start = comma + 1;
  }
  return entries;
}

std::string ConnectToTable::render(const Entry& entry) {
  return bracketedIfIPv6(entry.host) + ":" + std::to_string(entry.port) + ":" +
         bracketedIfIPv6(entry.to.address) + ":" + std::to_string(entry.to.port);
}

void ConnectToTable::put(Entry entry) {
  std::lock_guard lock(mutex_);
  auto existing = std::ranges::find_if(
      entries_, [&](const Entry& e) { return e.host == entry.host && e.port == entry.port; });
  if (existing != entries_.end()) {
    existing->to = std::move(entry.to);
  } else {
    entries_.push_back(std::move(entry));
  }
  generation_.fetch_add(1, std::memory_order_release);
}

}  // namespace platform
