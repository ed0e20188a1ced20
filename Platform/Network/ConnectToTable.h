#pragma once

#include <atomic>
#include <cstdint>
#include <expected>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Where connections to a host and port really go, like curl's CONNECT_TO: the URL, the
// Host header, the TLS server name and the certificate check all keep the original host;
// only the TCP connection is made to another address. Tests and the demo reach the
// stand-in back end on loopback this way, with the framework's real server addresses.
//
// Entries are written "host:port:address:port" (IPv6 literals in brackets). Hosts are
// DNS names (matched without regard to case) or IP literals; targets are IP literals, so
// that a route never needs a name lookup. There are no wildcards.
//
// shared() is the process-wide table the network code consults; it starts out with the
// entries of BRELUM_CONNECT_TO. Every member may be called from any thread.
class ConnectToTable {
 public:
  struct Endpoint {
    std::string address;  // canonical text, IPv6 without brackets
    std::uint16_t port = 0;

    friend bool operator==(const Endpoint&, const Endpoint&) = default;
  };

  struct Entry {
    std::string host;  // lower case; IP literals canonical, IPv6 without brackets
    std::uint16_t port = 0;
    Endpoint to;

    friend bool operator==(const Entry&, const Entry&) = default;
  };

  struct Error {
    enum class Code { malformed, badHost, badPort, badAddress, duplicate };
    Code code = Code::malformed;
    std::string entry;   // the text that was refused
    std::string reason;  // what is wrong with it

    [[nodiscard]] std::string message() const;
  };

  static constexpr const char* kEnvironmentVariable = "BRELUM_CONNECT_TO";

  // The process-wide table. On first use it takes BRELUM_CONNECT_TO; a malformed value is
  // reported on standard error and ignored as a whole.
  static ConnectToTable& shared();

  ConnectToTable() = default;
  ConnectToTable(const ConnectToTable&) = delete;
  ConnectToTable& operator=(const ConnectToTable&) = delete;

  // Routes host:port to toAddress:toPort, replacing any earlier route for host:port.
  [[nodiscard]] std::expected<void, Error> add(std::string_view host, std::uint16_t port,
                                               std::string_view toAddress, std::uint16_t toPort);

  // Adds every entry of a comma-separated list, or none if any entry is refused.
  [[nodiscard]] std::expected<void, Error> add(std::string_view entries);

  // Adds the entries of BRELUM_CONNECT_TO (none when it is unset or empty).
  [[nodiscard]] std::expected<void, Error> addFromEnvironment();

  void clear();

  // Where a connection to host:port should go, or nullopt to connect as usual. A host
  // given as "[::1]" finds the route written for "[::1]".
  [[nodiscard]] std::optional<Endpoint> route(std::string_view host, std::uint16_t port) const;

  // The routes in the order they were first added.
  [[nodiscard]] std::vector<Entry> entries() const;

  // The routes as curl CONNECT_TO strings, "host:port:address:port".
  [[nodiscard]] std::vector<std::string> curlConnectTo() const;

  // A number that moves on whenever the routes are changed (added, replaced or cleared).
  // What a reader built from curlConnectTo() after seeing one value stays current while
  // the value stays the same, so the HTTP worker rebuilds its route list only then.
  [[nodiscard]] std::uint64_t generation() const {
    return generation_.load(std::memory_order_acquire);
  }

  // Parses a comma-separated list of entries (whitespace around an entry is allowed; an
  // empty list is fine, an empty entry is not; one host:port may appear once).
  [[nodiscard]] static std::expected<std::vector<Entry>, Error> parse(std::string_view text);

  // One entry in curl CONNECT_TO syntax; parse() reads it back unchanged.
  [[nodiscard]] static std::string render(const Entry& entry);

 private:
  void put(Entry entry);

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  std::atomic<std::uint64_t> generation_{0};  // moved on under mutex_, after entries_
};

}  // namespace platform
