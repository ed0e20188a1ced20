#include "Platform/Network/NetlinkRouteSocket.h"

#include <linux/if_addr.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>
#include <utility>

namespace platform::detail {

namespace {

using Bytes = std::span<const unsigned char>;

// Large enough for any one datagram the kernel sends on a route socket; a bigger one
// would be cut short, which receive() reports rather than parses.
constexpr std::size_t kReceiveBufferSize = 64 * 1024;
// The kernel answers at once; this only bounds a wait that something else went wrong in.
constexpr auto kReplyTimeout = std::chrono::seconds(5);
// A dump that a concurrent change interrupted is retried this many times.
constexpr int kDumpAttempts = 5;
// Room for bursts of change events while the watcher evaluates.
constexpr int kEventBufferBytes = 1 << 20;

constexpr std::array kChangeGroups = {RTNLGRP_LINK, RTNLGRP_IPV4_IFADDR, RTNLGRP_IPV6_IFADDR,
                                      RTNLGRP_IPV4_ROUTE, RTNLGRP_IPV6_ROUTE};

// Netlink data is only 4-byte aligned and comes from the kernel as bytes, so every
// structure is copied out rather than read in place.
template <typename T>
bool readStruct(Bytes bytes, T& out) {
  if (bytes.size() < sizeof(T)) return false;
  std::memcpy(&out, bytes.data(), sizeof(T));
  return true;
}

template <typename Visit>
void forEachAttribute(Bytes bytes, Visit visit) {
  std::size_t offset = 0;
  while (offset + sizeof(rtattr) <= bytes.size()) {
    rtattr attribute{};
    readStruct(bytes.subspan(offset), attribute);
    if (attribute.rta_len < sizeof(rtattr) || offset + attribute.rta_len > bytes.size()) return;
    visit(static_cast<unsigned short>(attribute.rta_type & NLA_TYPE_MASK),
          bytes.subspan(offset + RTA_LENGTH(0), attribute.rta_len - RTA_LENGTH(0)));
    offset += RTA_ALIGN(attribute.rta_len);
  }
}

template <typename Header>
Bytes attributesAfter(Bytes payload) {
  const std::size_t start = NLMSG_ALIGN(sizeof(Header));
  return payload.size() > start ? payload.subspan(start) : Bytes{};
}

std::uint32_t readU32(Bytes bytes, std::uint32_t fallback = 0) {
  std::uint32_t value = fallback;
  readStruct(bytes, value);
  return value;
}

template <typename Header>
std::vector<unsigned char> makeRequest(unsigned short type, unsigned short flags,
                                       const Header& header) {
  std::vector<unsigned char> message(NLMSG_SPACE(sizeof(Header)));
  nlmsghdr head{};
  head.nlmsg_len = NLMSG_LENGTH(sizeof(Header));
  head.nlmsg_type = type;
  head.nlmsg_flags = flags;
  std::memcpy(message.data(), &head, sizeof head);
  std::memcpy(message.data() + NLMSG_HDRLEN, &header, sizeof header);
  return message;
}

void appendAttribute(std::vector<unsigned char>& message, unsigned short type, const void* data,
                     std::size_t size) {
  const std::size_t offset = NLMSG_ALIGN(message.size());
  message.resize(offset + RTA_SPACE(size));
  rtattr attribute{};
  attribute.rta_len = static_cast<unsigned short>(RTA_LENGTH(size));
  attribute.rta_type = type;
  std::memcpy(message.data() + offset, &attribute, sizeof attribute);
  std::memcpy(message.data() + offset + RTA_LENGTH(0), data, size);
  const auto length = static_cast<std::uint32_t>(message.size());
  std::memcpy(message.data() + offsetof(nlmsghdr, nlmsg_len), &length, sizeof length);
}

// Calls `visit(header, payload)` for each whole message in `bytes`; answers false when the
// datagram is malformed.
template <typename Visit>
bool forEachMessage(Bytes bytes, Visit visit) {
  std::size_t offset = 0;
  while (offset + sizeof(nlmsghdr) <= bytes.size()) {
    nlmsghdr head{};
    readStruct(bytes.subspan(offset), head);
    if (head.nlmsg_len < NLMSG_HDRLEN || offset + head.nlmsg_len > bytes.size()) return false;
    if (!visit(head, bytes.subspan(offset + NLMSG_HDRLEN, head.nlmsg_len - NLMSG_HDRLEN))) {
      return true;
    }
    offset += NLMSG_ALIGN(head.nlmsg_len);
  }
  return true;
}

void readNextHopAttributes(Bytes attributes, NetlinkNextHop& hop) {
  forEachAttribute(attributes, [&](unsigned short type, Bytes data) {
    if (type == RTA_OIF) hop.outputIndex = static_cast<int>(readU32(data));
    if (type == RTA_GATEWAY || type == RTA_VIA) hop.hasGateway = true;
  });
}

std::vector<NetlinkNextHop> readMultipath(Bytes bytes) {
  std::vector<NetlinkNextHop> hops;
  std::size_t offset = 0;
  while (offset + sizeof(rtnexthop) <= bytes.size()) {
    rtnexthop entry{};
    readStruct(bytes.subspan(offset), entry);
    if (entry.rtnh_len < sizeof(rtnexthop) || offset + entry.rtnh_len > bytes.size()) break;
    NetlinkNextHop hop{entry.rtnh_ifindex, false};
    readNextHopAttributes(bytes.subspan(offset + RTNH_LENGTH(0), entry.rtnh_len - RTNH_LENGTH(0)),
                          hop);
    hops.push_back(hop);
    offset += RTNH_ALIGN(entry.rtnh_len);
  }
  return hops;
}

NetlinkRoute readRoute(const rtmsg& header, Bytes attributes) {
  NetlinkRoute route;
  route.family = header.rtm_family;
  route.type = header.rtm_type;
  route.table = header.rtm_table;
  route.destinationLength = header.rtm_dst_len;
  NetlinkNextHop single;
  bool hasSingle = false;
  forEachAttribute(attributes, [&](unsigned short type, Bytes data) {
    switch (type) {
      case RTA_TABLE:
        route.table = readU32(data, route.table);
        break;
      case RTA_DST:
        std::memcpy(route.destination.data(), data.data(),
                    std::min(data.size(), route.destination.size()));
        break;
      case RTA_OIF:
        single.outputIndex = static_cast<int>(readU32(data));
        hasSingle = true;
        break;
      case RTA_GATEWAY:
      case RTA_VIA:
        single.hasGateway = true;
        break;
      case RTA_MULTIPATH:
        route.nextHops = readMultipath(data);
        break;
      default:
        break;
    }
  });
  if (hasSingle) route.nextHops.insert(route.nextHops.begin(), single);
  return route;
}

bool isNoRouteError(int error) {
  // What the kernel answers for unreachable, prohibited and blackholed destinations.
  return error == ENETUNREACH || error == EHOSTUNREACH || error == EACCES || error == EPERM ||
         error == EINVAL || error == ENETDOWN;
}

}  // namespace

std::expected<NetlinkRouteSocket, int> NetlinkRouteSocket::open() {
  const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) return std::unexpected(errno);
  sockaddr_nl local{};
  local.nl_family = AF_NETLINK;
  socklen_t length = sizeof local;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    const int error = errno;
    ::close(fd);
    return std::unexpected(error);
  }
  return NetlinkRouteSocket(fd, local.nl_pid);
}

NetlinkRouteSocket::NetlinkRouteSocket(NetlinkRouteSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      portId_(other.portId_),
      sequence_(other.sequence_),
      buffer_(std::move(other.buffer_)) {
}

NetlinkRouteSocket& NetlinkRouteSocket::operator=(NetlinkRouteSocket&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    portId_ = other.portId_;
    sequence_ = other.sequence_;
    buffer_ = std::move(other.buffer_);
  }
  return *this;
}

NetlinkRouteSocket::~NetlinkRouteSocket() {
  if (fd_ >= 0) ::close(fd_);
}

std::expected<void, int> NetlinkRouteSocket::send(std::vector<unsigned char>& message) {
  const std::uint32_t sequence = ++sequence_;
  std::memcpy(message.data() + offsetof(nlmsghdr, nlmsg_seq), &sequence, sizeof sequence);
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  for (;;) {
    const auto sent = ::sendto(fd_, message.data(), message.size(), 0,
                               reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
    if (sent >= 0) return {};
    if (errno != EINTR) return std::unexpected(errno);
  }
}

std::expected<std::size_t, int> NetlinkRouteSocket::receive(
    std::chrono::steady_clock::time_point deadline) {
  if (buffer_.size() < kReceiveBufferSize) buffer_.resize(kReceiveBufferSize);
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::unexpected(ETIMEDOUT);
    pollfd entry{fd_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) return std::unexpected(errno);
    if (ready <= 0) continue;
    const auto got = ::recv(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return std::unexpected(errno);
    }
    if (static_cast<std::size_t>(got) > buffer_.size()) return std::unexpected(EMSGSIZE);
    return static_cast<std::size_t>(got);
  }
}

template <typename Header, typename Visit>
std::expected<void, int> NetlinkRouteSocket::dump(unsigned short type, unsigned short replyType,
                                                  Visit visit) {
  const Header request{};  // family AF_UNSPEC: every family
  for (int attempt = 0; attempt < kDumpAttempts; ++attempt) {
    auto message = makeRequest(type, NLM_F_REQUEST | NLM_F_DUMP, request);
    if (auto sent = send(message); !sent) return sent;
    const std::uint32_t sequence = sequence_;
    const auto deadline = std::chrono::steady_clock::now() + kReplyTimeout;
    bool interrupted = false;
    bool finished = false;
    std::optional<int> error;
    while (!finished && !error) {
      auto received = receive(deadline);
      if (!received) return std::unexpected(received.error());
      const bool wellFormed = forEachMessage(
          Bytes(buffer_.data(), *received), [&](const nlmsghdr& head, Bytes payload) {
            // Replies to an earlier request that was given up on are not ours.
            if (head.nlmsg_seq != sequence || head.nlmsg_pid != portId_) return true;
            if (head.nlmsg_flags & NLM_F_DUMP_INTR) interrupted = true;
            if (head.nlmsg_type == NLMSG_DONE) {
              finished = true;
              return false;
            }
            if (head.nlmsg_type == NLMSG_ERROR) {
              nlmsgerr failure{};
              readStruct(payload, failure);
              if (failure.error != 0) error = -failure.error;
              finished = true;
              return false;
            }
            Header body{};
            if (head.nlmsg_type == replyType && readStruct(payload, body)) {
              visit(body, attributesAfter<Header>(payload));
            }
            return true;
          });
      if (!wellFormed) return std::unexpected(EBADMSG);
    }
    if (error) return std::unexpected(*error);
    if (!interrupted) return {};
  }
  return std::unexpected(EAGAIN);
}

std::expected<std::vector<NetlinkLink>, int> NetlinkRouteSocket::links() {
  std::vector<NetlinkLink> links;
  auto done =
      dump<ifinfomsg>(RTM_GETLINK, RTM_NEWLINK, [&](const ifinfomsg& header, Bytes attributes) {
        NetlinkLink link{header.ifi_index, header.ifi_flags, header.ifi_type, {}};
        forEachAttribute(attributes, [&](unsigned short type, Bytes data) {
          if (type != IFLA_IFNAME) return;
          const auto* text = reinterpret_cast<const char*>(data.data());
          link.name.assign(text, ::strnlen(text, data.size()));
        });
        links.push_back(std::move(link));
      });
  if (!done) return std::unexpected(done.error());
  return links;
}

std::expected<std::vector<NetlinkAddress>, int> NetlinkRouteSocket::addresses() {
  std::vector<NetlinkAddress> addresses;
  auto done =
      dump<ifaddrmsg>(RTM_GETADDR, RTM_NEWADDR, [&](const ifaddrmsg& header, Bytes attributes) {
        NetlinkAddress address{static_cast<int>(header.ifa_index), header.ifa_family,
                               header.ifa_prefixlen, header.ifa_scope, header.ifa_flags};
        forEachAttribute(attributes, [&](unsigned short type, Bytes data) {
          // The 8-bit header field cannot hold the newer flags; the attribute carries them all.
          if (type == IFA_FLAGS) address.flags = readU32(data, address.flags);
        });
        addresses.push_back(address);
      });
  if (!done) return std::unexpected(done.error());
  return addresses;
}

std::expected<std::vector<NetlinkRoute>, int> NetlinkRouteSocket::routes() {
  std::vector<NetlinkRoute> routes;
  auto done = dump<rtmsg>(RTM_GETROUTE, RTM_NEWROUTE, [&](const rtmsg& header, Bytes attributes) {
    if (header.rtm_family != AF_INET && header.rtm_family != AF_INET6) return;
    routes.push_back(readRoute(header, attributes));
  });
  if (!done) return std::unexpected(done.error());
  return routes;
}

std::expected<std::optional<NetlinkRouteLookup>, int> NetlinkRouteSocket::lookup(
    const sockaddr_storage& address) {
  rtmsg request{};
  request.rtm_family = static_cast<unsigned char>(address.ss_family);
  std::vector<unsigned char> message;
  if (address.ss_family == AF_INET) {
    sockaddr_in v4{};
    std::memcpy(&v4, &address, sizeof v4);
    request.rtm_dst_len = 32;
    message = makeRequest(RTM_GETROUTE, NLM_F_REQUEST, request);
    appendAttribute(message, RTA_DST, &v4.sin_addr, sizeof v4.sin_addr);
  } else if (address.ss_family == AF_INET6) {
    sockaddr_in6 v6{};
    std::memcpy(&v6, &address, sizeof v6);
    request.rtm_dst_len = 128;
    message = makeRequest(RTM_GETROUTE, NLM_F_REQUEST, request);
    appendAttribute(message, RTA_DST, &v6.sin6_addr, sizeof v6.sin6_addr);
    // A link-local address names its interface by scope.
    if (v6.sin6_scope_id != 0) {
      const std::uint32_t index = v6.sin6_scope_id;
      appendAttribute(message, RTA_OIF, &index, sizeof index);
    }
  } else {
    return std::unexpected(EAFNOSUPPORT);
  }
  if (auto sent = send(message); !sent) return std::unexpected(sent.error());
  const std::uint32_t sequence = sequence_;
  const auto deadline = std::chrono::steady_clock::now() + kReplyTimeout;
  bool answered = false;
  int error = 0;
  std::optional<NetlinkRouteLookup> found;
  while (!answered) {
    auto received = receive(deadline);
    if (!received) return std::unexpected(received.error());
    const bool wellFormed =
        forEachMessage(Bytes(buffer_.data(), *received), [&](const nlmsghdr& head, Bytes payload) {
          if (head.nlmsg_seq != sequence || head.nlmsg_pid != portId_) return true;
          if (head.nlmsg_type == NLMSG_ERROR) {
            nlmsgerr failure{};
            readStruct(payload, failure);
            if (!isNoRouteError(-failure.error)) error = -failure.error;
            answered = true;
            return false;
          }
          rtmsg header{};
          if (head.nlmsg_type != RTM_NEWROUTE || !readStruct(payload, header)) return true;
          const auto route = readRoute(header, attributesAfter<rtmsg>(payload));
          found = NetlinkRouteLookup{route.type, {}};
          if (!route.nextHops.empty()) found->nextHop = route.nextHops.front();
          answered = true;
          return false;
        });
    if (!wellFormed) return std::unexpected(EBADMSG);
  }
  if (error != 0) return std::unexpected(error);
  return found;
}

std::expected<void, int> NetlinkRouteSocket::subscribeToChanges() {
  // Best effort: a smaller buffer only means more lost events, which read as "changed".
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &kEventBufferBytes, sizeof kEventBufferBytes);
  for (const int group : kChangeGroups) {
    if (::setsockopt(fd_, SOL_NETLINK, NETLINK_ADD_MEMBERSHIP, &group, sizeof group) != 0) {
      const int error = errno;
      unsubscribeFromChanges();
      return std::unexpected(error);
    }
  }
  return {};
}

void NetlinkRouteSocket::unsubscribeFromChanges() {
  for (const int group : kChangeGroups) {
    ::setsockopt(fd_, SOL_NETLINK, NETLINK_DROP_MEMBERSHIP, &group, sizeof group);
  }
}

std::expected<bool, int> NetlinkRouteSocket::drainEvents() {
  if (buffer_.size() < kReceiveBufferSize) buffer_.resize(kReceiveBufferSize);
  bool any = false;
  for (;;) {
    const auto got = ::recv(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
    if (got >= 0) {
      any = true;
      continue;
    }
    if (errno == EAGAIN) return any;
    if (errno == ENOBUFS) {
      any = true;
    } else if (errno != EINTR) {
      return std::unexpected(errno);
    }
  }
}

}  // namespace platform::detail
