#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "Platform/Network/ReachabilityFlags.h"

namespace platform {

class DispatchQueue;

// Whether an address or host can be reached over the network as it is configured now, and
// word of every change to that, in the role the phone platform's reachability targets play.
//
// A target made for the zero address (0.0.0.0 or ::) answers for the machine as a whole:
// reachable while some interface that is up, running and not loopback has a usable
// (non-link-local) address and a route out of it. A target for any other address asks the
// kernel which route traffic to it would take: reachable when that route leaves through an
// interface that is up and running; a gateway-less route adds isDirect, one of this
// machine's own addresses adds isLocalAddress and isDirect. A target for a host name
// resolves the name (getaddrinfo) at every evaluation and answers for the first of its
// addresses that is reachable; a name that does not resolve is simply not reachable.
//
// The target lives in the network namespace of the thread that made it: its kernel sockets
// are opened there and all its answers are about that namespace.
//
// Change events come from the kernel's link, address and route notifications. While a
// dispatch queue is set, a watcher thread waits for them, evaluates the flags again after
// each burst and, when they differ from the last flags it saw, submits the callback to the
// queue with the new flags. Callbacks for one target run one at a time, in order.
//
// Every member may be called from any thread. Clearing the callback or the queue (also by
// destroying the target) is final on return: a callback already running on another thread
// is waited for, none starts afterwards, and one that clears them from inside its own
// callback simply gets no further calls. A callback must therefore not wait for a thread
// that is clearing it. Failures are errno values.
class ReachabilityTarget : public std::enable_shared_from_this<ReachabilityTarget> {
 public:
  // The caller's data handed to every callback, with the platform's ownership protocol:
  // when the callback is set, `info` is passed through `retain` (when given) and the result
  // is kept; when it is replaced, cleared or the target is destroyed, that is passed to
  // `release` (when given) once no callback or description is using it any more.
  // `copyDescription` (when given) describes `info` in description().
  struct Context {
    int version = 0;  // must be 0
    void* info = nullptr;
    const void* (*retain)(const void* info) = nullptr;
    void (*release)(const void* info) = nullptr;
    std::string (*copyDescription)(const void* info) = nullptr;
  };

  using Callback = void (*)(ReachabilityTarget& target, ReachabilityFlags flags, void* info);

  // A target for an IPv4 or IPv6 socket address of `length` bytes; the zero address stands
  // for the machine's general reachability. EINVAL for a null or short address,
  // EAFNOSUPPORT for other families, or the errno of opening the kernel sockets.
  [[nodiscard]] static std::expected<std::shared_ptr<ReachabilityTarget>, int> makeWithAddress(
      const sockaddr* address, socklen_t length);

  // A target for a host name, or for the address when the name is an IP address literal.
  // EINVAL for an empty name, one with a NUL character or one longer than a DNS name can be.
  [[nodiscard]] static std::expected<std::shared_ptr<ReachabilityTarget>, int> makeWithName(
      std::string_view hostname);

  ~ReachabilityTarget();
  ReachabilityTarget(const ReachabilityTarget&) = delete;
  ReachabilityTarget& operator=(const ReachabilityTarget&) = delete;

  // Evaluates the flags now, on the calling thread (for a host name this includes resolving
  // it, which may take as long as the resolver does).
  [[nodiscard]] std::expected<ReachabilityFlags, int> flags() const;

  // Sets the callback and its context, or clears both when `callback` is null. EINVAL for a
  // context whose version is not 0 (nothing changes then).
  [[nodiscard]] std::expected<void, int> setCallback(Callback callback, const Context* context);

  // Starts watching for changes with callbacks submitted to `queue`, or stops when `queue`
  // is null. Setting a queue while one is set moves the watch to the new queue. On failure
  // (the errno of subscribing to the kernel's events, making the wake-up descriptor or the
  // thread) the target is left unscheduled.
  [[nodiscard]] std::expected<void, int> setDispatchQueue(std::shared_ptr<DispatchQueue> queue);

  // "<ReachabilityTarget what>" plus, while a context with copyDescription is set,
  // " {info = <its description>}".
  [[nodiscard]] std::string description() const;

 private:
  struct Impl;

  explicit ReachabilityTarget(std::unique_ptr<Impl> impl);

  // Runs the callback for flags found by the watch of `generation`, unless the callback or
  // the queue changed since.
  void deliver(std::uint64_t generation, ReachabilityFlags flags);

  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
