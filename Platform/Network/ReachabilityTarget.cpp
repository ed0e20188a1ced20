#include "Platform/Network/ReachabilityTarget.h"

#include <arpa/inet.h>
#include <linux/if_addr.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Network/NetlinkRouteSocket.h"

namespace platform {

namespace {

using detail::NetlinkAddress;
using detail::NetlinkLink;
using detail::NetlinkRoute;
using detail::NetlinkRouteSocket;

// How long stopping a watch waits for its thread. Only a host-name lookup can hold the
// thread that long; past the deadline the thread is left to finish on its own, with
// everything it touches kept alive by its own references.
constexpr auto kWatcherStopDeadline = std::chrono::seconds(2);

// The longest DNS name, plus an optional trailing dot.
constexpr std::size_t kMaxHostnameLength = 254;

enum class TargetKind { general, address, name };

bool isUsableLink(const NetlinkLink& link) {
  return (link.flags & IFF_UP) != 0 && (link.flags & IFF_RUNNING) != 0;
}

bool isWWANInterface(const std::string& name) {
  // The kernel's WWAN class marks mobile-broadband network devices in their uevent. In
  // another network namespace the name may be absent here or name another device; that
  // only costs the WWAN flag.
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    return false;
  }
  std::ifstream uevent("/sys/class/net/" + name + "/uevent");
  std::string line;
  while (std::getline(uevent, line)) {
    if (line == "DEVTYPE=wwan") return true;
  }
  return false;
}

// What the interface that traffic leaves through adds to "reachable".
ReachabilityFlags interfaceFlags(const NetlinkLink& link) {
  ReachabilityFlags flags;
  if (link.type == ARPHRD_PPP) flags |= ReachabilityFlags::transientConnection;
  if (isWWANInterface(link.name)) flags |= ReachabilityFlags::isWWAN;
  return flags;
}

// Link-local prefixes reach only the segment itself, never the wider network.
bool isLinkLocalDestination(const NetlinkRoute& route) {
  const auto& d = route.destination;
  if (route.family == AF_INET) return route.destinationLength >= 16 && d[0] == 169 && d[1] == 254;
  return route.destinationLength >= 10 && d[0] == 0xfe && (d[1] & 0xc0) == 0x80;
}

bool isUsableAddress(const NetlinkAddress& address) {
  // Link and host scope cannot be used as a source towards the network; an address still in
  // (or failed by) duplicate address detection cannot be used at all.
  return address.scope < RT_SCOPE_LINK &&
         (address.flags & (IFA_F_TENTATIVE | IFA_F_DADFAILED)) == 0;
}

const NetlinkLink* findLink(const std::vector<NetlinkLink>& links, int index) {
  auto found = std::ranges::find(links, index, &NetlinkLink::index);
  return found == links.end() ? nullptr : &*found;
}

std::expected<ReachabilityFlags, int> evaluateGeneral(NetlinkRouteSocket& socket) {
  auto links = socket.links();
  if (!links) return std::unexpected(links.error());
  auto addresses = socket.addresses();
  if (!addresses) return std::unexpected(addresses.error());
  auto routes = socket.routes();
  if (!routes) return std::unexpected(routes.error());

  auto hasUsableAddress = [&](int index, unsigned char family) {
    return std::ranges::any_of(*addresses, [&](const NetlinkAddress& address) {
      return address.index == index && address.family == family && isUsableAddress(address);
    });
  };
  // The interface of a default route speaks for the machine when there is one.
  const NetlinkLink* chosen = nullptr;
  bool chosenByDefaultRoute = false;
  for (const auto& route : *routes) {
    if (route.type != RTN_UNICAST || route.table == RT_TABLE_LOCAL ||
        isLinkLocalDestination(route)) {
      continue;
    }
    for (const auto& hop : route.nextHops) {
      const auto* link = findLink(*links, hop.outputIndex);
      if (!link || !isUsableLink(*link) || (link->flags & IFF_LOOPBACK) != 0 ||
          !hasUsableAddress(link->index, route.family)) {
        continue;
      }
      const bool isDefault = route.destinationLength == 0;
      if (!chosen || (isDefault && !chosenByDefaultRoute)) {
        chosen = link;
        chosenByDefaultRoute = isDefault;
      }
    }
  }
  if (!chosen) return ReachabilityFlags{};
  return ReachabilityFlags::reachable | interfaceFlags(*chosen);
}

std::expected<ReachabilityFlags, int> evaluateAddress(NetlinkRouteSocket& socket,
                                                      const sockaddr_storage& address) {
  auto lookup = socket.lookup(address);
  if (!lookup) return std::unexpected(lookup.error());
  if (!*lookup) return ReachabilityFlags{};
  const auto& route = **lookup;
  if (route.type != RTN_LOCAL && route.type != RTN_UNICAST) return ReachabilityFlags{};
  auto links = socket.links();
  if (!links) return std::unexpected(links.error());
  const auto* link = findLink(*links, route.nextHop.outputIndex);
  if (!link || !isUsableLink(*link)) return ReachabilityFlags{};
  if (route.type == RTN_LOCAL) {
    return ReachabilityFlags::reachable | ReachabilityFlags::isLocalAddress |
           ReachabilityFlags::isDirect;
  }
  auto flags = ReachabilityFlags::reachable | interfaceFlags(*link);
  if (!route.nextHop.hasGateway) flags |= ReachabilityFlags::isDirect;
  return flags;
}

std::string addressText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
  } else {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
  }
  return text;
}

bool isZeroAddress(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    return reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr == INADDR_ANY;
  }
  const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
  return IN6_IS_ADDR_UNSPECIFIED(&v6.sin6_addr);
}

// The addresses `name` resolves to; empty when it does not resolve, which is a state of the
// network (no resolver reachable, no such name), not a failure of the target.
std::expected<std::vector<sockaddr_storage>, int> resolve(const std::string& name, int flags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = flags;
  addrinfo* found = nullptr;
  const int status = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
  if (status == EAI_SYSTEM) return std::unexpected(errno != 0 ? errno : EIO);
  if (status == EAI_MEMORY) return std::unexpected(ENOMEM);
  std::vector<sockaddr_storage> addresses;
  if (status != 0) return addresses;
  for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
    if ((entry->ai_family != AF_INET && entry->ai_family != AF_INET6) ||
        entry->ai_addrlen > sizeof(sockaddr_storage)) {
      continue;
    }
    sockaddr_storage address{};
    std::memcpy(&address, entry->ai_addr, entry->ai_addrlen);
    addresses.push_back(address);
  }
  ::freeaddrinfo(found);
  return addresses;
}

// What a target asks about, and the kernel sockets it asks through. Shared by the target
// and its watcher thread, so that a watcher left to finish after its deadline still has
// them.
struct Probe {
  TargetKind kind = TargetKind::general;
  sockaddr_storage address{};
  std::string name;
  std::string what;

  std::mutex queryMutex;
  NetlinkRouteSocket query;
  std::mutex eventsMutex;
  NetlinkRouteSocket events;

  Probe(NetlinkRouteSocket query, NetlinkRouteSocket events)
      : query(std::move(query)), events(std::move(events)) {}

  std::expected<ReachabilityFlags, int> evaluate() {
    switch (kind) {
      case TargetKind::general: {
        std::lock_guard lock(queryMutex);
        return evaluateGeneral(query);
      }
      case TargetKind::address: {
        std::lock_guard lock(queryMutex);
        return evaluateAddress(query, address);
      }
      case TargetKind::name:
        break;
    }
    auto addresses = resolve(name, 0);
    if (!addresses) return std::unexpected(addresses.error());
    std::optional<int> firstError;
    bool answered = false;
    for (const auto& candidate : *addresses) {
      std::lock_guard lock(queryMutex);
      auto flags = evaluateAddress(query, candidate);
      if (!flags) {
        firstError = firstError.value_or(flags.error());
        continue;
      }
      if (flags->contains(ReachabilityFlags::reachable)) return flags;
      answered = true;
    }
    // Only when no address could be asked about at all is the answer a failure.
    if (firstError && !answered) return std::unexpected(*firstError);
    return ReachabilityFlags{};
  }
};

std::expected<std::shared_ptr<Probe>, int> openProbe() {
  auto query = NetlinkRouteSocket::open();
  if (!query) return std::unexpected(query.error());
  auto events = NetlinkRouteSocket::open();
  if (!events) return std::unexpected(events.error());
  return std::make_shared<Probe>(std::move(*query), std::move(*events));
}

// One scheduling of a target on a queue: a thread that waits for the kernel's change
// events and hands changed flags to `post`. The thread owns a reference to the watch; the
// target holds another until it stops the watch.
struct Watch {
  std::shared_ptr<Probe> probe;
  std::function<void(ReachabilityFlags)> post;
  std::optional<ReachabilityFlags> last;  // the watcher thread's alone once it runs
  int wakeFd = -1;
  std::atomic<bool> stopping = false;
  std::mutex exitMutex;
  std::condition_variable exitSignal;
  bool exited = false;
  std::thread thread;

  ~Watch() {
    if (wakeFd >= 0) ::close(wakeFd);
  }

  void run() {
    std::array<pollfd, 2> fds{pollfd{probe->events.fd(), POLLIN, 0}, pollfd{wakeFd, POLLIN, 0}};
    while (!stopping) {
      if (::poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (stopping) break;
      if ((fds[0].revents & (POLLIN | POLLERR)) == 0) continue;
      {
        // A stopped watch never reads again, so a watch that replaced it sees every event.
        std::lock_guard lock(probe->eventsMutex);
        if (stopping) break;
        auto drained = probe->events.drainEvents();
        if (!drained) break;
        if (!*drained) continue;
      }
      // One evaluation per burst: a link going down brings a string of link, address and
      // route messages, and only the state after them matters.
      auto flags = probe->evaluate();
      if (stopping) break;
      if (!flags || *flags == last) continue;
      last = *flags;
      post(*flags);
    }
    {
      std::lock_guard lock(exitMutex);
      exited = true;
    }
    exitSignal.notify_all();
  }

  void stop() {
    stopping = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFd, &one, sizeof one);
    bool finished = false;
    {
      std::unique_lock lock(exitMutex);
      finished = exitSignal.wait_for(lock, kWatcherStopDeadline, [&] { return exited; });
    }
    if (thread.joinable()) {
      if (finished) {
        thread.join();
      } else {
        thread.detach();
      }
    }
    std::lock_guard lock(probe->eventsMutex);
    probe->events.unsubscribeFromChanges();
  }
};

// The callback and context in force; releases the context's info when the last user (the
// target, a running callback or a description) lets go of it.
struct Registration {
  ReachabilityTarget::Callback callback = nullptr;
  void* info = nullptr;
  void (*release)(const void*) = nullptr;
  std::string (*copyDescription)(const void*) = nullptr;

  Registration() = default;
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;
  ~Registration() {
    if (release) release(info);
  }
};

}  // namespace

struct ReachabilityTarget::Impl {
  std::shared_ptr<Probe> probe;

  std::mutex schedulingMutex;  // one setDispatchQueue at a time
  std::mutex mutex;            // guards the fields below
  std::condition_variable deliveryFinished;
  std::shared_ptr<Registration> registration;
  std::shared_ptr<Watch> watch;
  std::uint64_t generation = 0;             // bumped whenever the queue is set or cleared
  std::vector<std::thread::id> delivering;  // threads running a callback now

  // Waits until no thread other than the calling one runs a callback.
  void waitForOtherDeliveries(std::unique_lock<std::mutex>& lock) {
    const auto self = std::this_thread::get_id();
    deliveryFinished.wait(lock, [&] {
      return std::ranges::all_of(delivering, [&](std::thread::id id) { return id == self; });
    });
  }
};

ReachabilityTarget::ReachabilityTarget(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {
}

std::expected<std::shared_ptr<ReachabilityTarget>, int> ReachabilityTarget::makeWithAddress(
    const sockaddr* address, socklen_t length) {
  if (!address || length < static_cast<socklen_t>(sizeof(sa_family_t))) {
    return std::unexpected(EINVAL);
  }
  sockaddr_storage copy{};
  if (address->sa_family == AF_INET) {
    if (length < static_cast<socklen_t>(sizeof(sockaddr_in))) return std::unexpected(EINVAL);
    std::memcpy(&copy, address, sizeof(sockaddr_in));
  } else if (address->sa_family == AF_INET6) {
    if (length < static_cast<socklen_t>(sizeof(sockaddr_in6))) return std::unexpected(EINVAL);
    std::memcpy(&copy, address, sizeof(sockaddr_in6));
  } else {
    return std::unexpected(EAFNOSUPPORT);
  }
  auto probe = openProbe();
  if (!probe) return std::unexpected(probe.error());
  auto& p = **probe;
  p.address = copy;
  p.kind = isZeroAddress(copy) ? TargetKind::general : TargetKind::address;
  p.what = copy.ss_family == AF_INET6 ? "[" + addressText(copy) + "]" : addressText(copy);
  auto impl = std::make_unique<Impl>();
  impl->probe = std::move(*probe);
  return std::shared_ptr<ReachabilityTarget>(new ReachabilityTarget(std::move(impl)));
}

std::expected<std::shared_ptr<ReachabilityTarget>, int> ReachabilityTarget::makeWithName(
    std::string_view hostname) {
  if (hostname.empty() || hostname.size() > kMaxHostnameLength ||
      hostname.find('\0') != std::string_view::npos) {
    return std::unexpected(EINVAL);
  }
  const std::string name(hostname);
  // An address literal is a target for that address; nothing needs resolving.
  if (auto literal = resolve(name, AI_NUMERICHOST); literal && !literal->empty()) {
    const auto& address = literal->front();
    return makeWithAddress(reinterpret_cast<const sockaddr*>(&address), sizeof address);
  }
  auto probe = openProbe();
  if (!probe) return std::unexpected(probe.error());
  (*probe)->kind = TargetKind::name;
  (*probe)->name = name;
  (*probe)->what = name;
  auto impl = std::make_unique<Impl>();
  impl->probe = std::move(*probe);
  return std::shared_ptr<ReachabilityTarget>(new ReachabilityTarget(std::move(impl)));
}

ReachabilityTarget::~ReachabilityTarget() {
  // No callback can be running on another thread: each holds the target alive. One that
  // dropped the last reference has returned before this runs.
  std::shared_ptr<Watch> watch;
  {
    std::lock_guard lock(impl_->mutex);
    watch = std::exchange(impl_->watch, nullptr);
    ++impl_->generation;
  }
  if (watch) watch->stop();
}

std::expected<ReachabilityFlags, int> ReachabilityTarget::flags() const {
  return impl_->probe->evaluate();
}

std::expected<void, int> ReachabilityTarget::setCallback(Callback callback,
                                                         const Context* context) {
  std::shared_ptr<Registration> fresh;
  if (callback) {
    if (context && context->version != 0) return std::unexpected(EINVAL);
    fresh = std::make_shared<Registration>();
    fresh->callback = callback;
    if (context) {
      fresh->info =
          context->retain ? const_cast<void*>(context->retain(context->info)) : context->info;
      fresh->release = context->release;
      fresh->copyDescription = context->copyDescription;
    }
  }
  std::shared_ptr<Registration> previous;
  {
    std::unique_lock lock(impl_->mutex);
    previous = std::exchange(impl_->registration, std::move(fresh));
    impl_->waitForOtherDeliveries(lock);
  }
  // `previous` is released here, outside the lock, unless this thread's own running
  // callback still uses it; then that callback's end releases it.
  return {};
}

std::expected<void, int> ReachabilityTarget::setDispatchQueue(
    std::shared_ptr<DispatchQueue> queue) {
  std::expected<void, int> result;
  {
    std::lock_guard scheduling(impl_->schedulingMutex);
    std::shared_ptr<Watch> previous;
    std::uint64_t generation = 0;
    {
      std::lock_guard lock(impl_->mutex);
      previous = std::exchange(impl_->watch, nullptr);
      generation = ++impl_->generation;
    }
    if (previous) previous->stop();
    if (queue) {
      auto watch = std::make_shared<Watch>();
      watch->probe = impl_->probe;
      // Callbacks of one target run one at a time and in order, even on a concurrent queue.
      auto callbacks =
          DispatchQueue::makeSerial("platform.reachability.callbacks", queue->qos(), queue);
      watch->post = [weak = weak_from_this(), generation,
                     callbacks = std::move(callbacks)](ReachabilityFlags flags) {
        callbacks->async([weak, generation, flags] {
          if (auto target = weak.lock()) target->deliver(generation, flags);
        });
      };
      result = [&]() -> std::expected<void, int> {
        {
          std::lock_guard lock(impl_->probe->eventsMutex);
          if (auto subscribed = impl_->probe->events.subscribeToChanges(); !subscribed) {
            return subscribed;
          }
          // Events from before this subscription are already in the baseline below.
          (void)impl_->probe->events.drainEvents();
        }
        // Subscribed before reading the baseline, so no change can fall between the two.
        // A failed read leaves no baseline: the first good one counts as a change.
        if (auto baseline = impl_->probe->evaluate()) watch->last = *baseline;
        watch->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (watch->wakeFd < 0) return std::unexpected(errno);
        try {
          watch->thread = std::thread([watch] { watch->run(); });
        } catch (const std::system_error& error) {
          return std::unexpected(error.code().value());
        }
        return {};
      }();
      if (result) {
        std::lock_guard lock(impl_->mutex);
        impl_->watch = std::move(watch);
      } else {
        std::lock_guard lock(impl_->probe->eventsMutex);
        impl_->probe->events.unsubscribeFromChanges();
      }
    }
  }
  std::unique_lock lock(impl_->mutex);
  impl_->waitForOtherDeliveries(lock);
  return result;
}

std::string ReachabilityTarget::description() const {
  std::shared_ptr<Registration> registration;
  {
    std::lock_guard lock(impl_->mutex);
    registration = impl_->registration;
  }
  std::string text = "<ReachabilityTarget " + impl_->probe->what + ">";
  if (registration && registration->copyDescription) {
    text += " {info = " + registration->copyDescription(registration->info) + "}";
  }
  return text;
}

void ReachabilityTarget::deliver(std::uint64_t generation, ReachabilityFlags flags) {
  std::shared_ptr<Registration> registration;
  {
    std::lock_guard lock(impl_->mutex);
    if (generation != impl_->generation || !impl_->registration) return;
    registration = impl_->registration;
    impl_->delivering.push_back(std::this_thread::get_id());
  }
  // Marks the end of this callback even if it throws, so that clearing never waits forever.
  struct Finished {
    Impl& impl;
    ~Finished() {
      {
        std::lock_guard lock(impl.mutex);
        auto self = std::ranges::find(impl.delivering, std::this_thread::get_id());
        if (self != impl.delivering.end()) impl.delivering.erase(self);
      }
      impl.deliveryFinished.notify_all();
    }
  } finished{*impl_};
  registration->callback(*this, flags, registration->info);
}

}  // namespace platform
