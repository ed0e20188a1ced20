#pragma once

#include <sys/socket.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <vector>

namespace platform::detail {

// One network interface as the kernel's routing layer reports it.
struct NetlinkLink {
  int index = 0;
  unsigned flags = 0;       // IFF_UP, IFF_RUNNING, IFF_LOOPBACK, ...
  unsigned short type = 0;  // ARPHRD_*
  std::string name;
};

// One address configured on an interface.
struct NetlinkAddress {
  int index = 0;
  unsigned char family = 0;
  unsigned char prefixLength = 0;
  unsigned char scope = 0;  // RT_SCOPE_*
  std::uint32_t flags = 0;  // IFA_F_*
};

// One way out of a route: the interface and whether a gateway stands between.
struct NetlinkNextHop {
  int outputIndex = 0;
  bool hasGateway = false;
};

// One entry of a routing table.
struct NetlinkRoute {
  unsigned char family = 0;
  unsigned char type = 0;  // RTN_*
  std::uint32_t table = 0;
  unsigned char destinationLength = 0;
  std::array<unsigned char, 16> destination{};  // network byte order, zero past the family's size
  std::vector<NetlinkNextHop> nextHops;
};

// The kernel's answer to "which route would traffic to this address take".
struct NetlinkRouteLookup {
  unsigned char type = 0;  // RTN_*
  NetlinkNextHop nextHop;
};

// An rtnetlink socket in the network namespace of the thread that opened it: it answers
// queries about links, addresses and routes, and can be subscribed to their change events.
//
// Failures are errno values. One socket serves one caller at a time; callers that share
// one serialise their use of it.
class NetlinkRouteSocket {
 public:
  // Opens a socket bound to no multicast group.
  [[nodiscard]] static std::expected<NetlinkRouteSocket, int> open();

  NetlinkRouteSocket(NetlinkRouteSocket&& other) noexcept;
  NetlinkRouteSocket& operator=(NetlinkRouteSocket&& other) noexcept;
  ~NetlinkRouteSocket();

  [[nodiscard]] int fd() const { return fd_; }

  [[nodiscard]] std::expected<std::vector<NetlinkLink>, int> links();
  [[nodiscard]] std::expected<std::vector<NetlinkAddress>, int> addresses();
  // Routes of every table, IPv4 and IPv6.
  [[nodiscard]] std::expected<std::vector<NetlinkRoute>, int> routes();
  // The route the kernel would pick for `address` (an IPv4 or IPv6 socket address); nothing
  // when the kernel has no route for it (unreachable, prohibited, blackholed).
  [[nodiscard]] std::expected<std::optional<NetlinkRouteLookup>, int> lookup(
      const sockaddr_storage& address);

  // Joins or leaves the multicast groups of link, address and route changes.
  [[nodiscard]] std::expected<void, int> subscribeToChanges();
  void unsubscribeFromChanges();

  // Reads every change event already queued, without waiting. Answers whether anything
  // arrived, a lost event (the queue overflowed) counting as something.
  [[nodiscard]] std::expected<bool, int> drainEvents();

 private:
  explicit NetlinkRouteSocket(int fd, std::uint32_t portId) : fd_(fd), portId_(portId) {}

  template <typename Header, typename Visit>
  std::expected<void, int> dump(unsigned short type, unsigned short replyType, Visit visit);
  std::expected<void, int> send(std::vector<unsigned char>& message);
  std::expected<std::size_t, int> receive(std::chrono::steady_clock::time_point deadline);

  int fd_ = -1;
  std::uint32_t portId_ = 0;
  std::uint32_t sequence_ = 0;
  std::vector<unsigned char> buffer_;
};

}  // namespace platform::detail
