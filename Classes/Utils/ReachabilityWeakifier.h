#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include "Platform/Network/ReachabilityTarget.h"

namespace brelum {

class Reachability;

namespace detail {

// The context object a monitor hands to its platform target: it refers to the monitor only
// weakly, so that the target's registration never keeps the monitor alive.
//
// Its lifetime follows the target's context protocol: it starts with one reference, held by
// whoever made it; the context's retain callback adds one and its release callback drops
// one; the last release deletes it. The count is atomic because the target releases on
// whichever thread lets go last.
class ReachabilityWeakifier {
 public:
  struct Release {
    void operator()(ReachabilityWeakifier* weakifier) const;
  };
  using Reference = std::unique_ptr<ReachabilityWeakifier, Release>;

  [[nodiscard]] static Reference make(std::weak_ptr<Reachability> reachability);

  ReachabilityWeakifier(const ReachabilityWeakifier&) = delete;
  ReachabilityWeakifier& operator=(const ReachabilityWeakifier&) = delete;

  const std::weak_ptr<Reachability> reachability;

  // Version 0, info = this weakifier (not yet retained: the target retains it when the
  // context is set), and the three callbacks below.
  [[nodiscard]] platform::ReachabilityTarget::Context context();

  static const void* retain(const void* info);
  static void release(const void* info);
  // The monitor's description, or "nil" once the monitor no longer exists.
  static std::string copyDescription(const void* info);

 private:
  explicit ReachabilityWeakifier(std::weak_ptr<Reachability> reachability)
      : reachability(std::move(reachability)) {}
  ~ReachabilityWeakifier() = default;

  std::atomic<std::size_t> references_ = 1;
};

}  // namespace detail
}  // namespace brelum
