#pragma once

#include <cstdint>

namespace platform {

// What a reachability target knows about the path to its address: a set of flags laid out
// bit for bit as the phone platform lays out its reachability flags, so that code written
// against those values (and their raw numbers) carries over unchanged.
struct ReachabilityFlags {
  std::uint32_t rawValue = 0;

  // The address can be reached over a connection that comes and goes (a PPP link).
  static const ReachabilityFlags transientConnection;
  // The address can be reached over the interfaces configured now.
  static const ReachabilityFlags reachable;
  // A connection would first have to be set up. Linux brings no links up on demand, so
  // targets here never report it.
  static const ReachabilityFlags connectionRequired;
  static const ReachabilityFlags connectionOnTraffic;
  static const ReachabilityFlags interventionRequired;
  static const ReachabilityFlags connectionOnDemand;
  // The address is one of this machine's own.
  static const ReachabilityFlags isLocalAddress;
  // Traffic to the address goes straight to it, through no gateway.
  static const ReachabilityFlags isDirect;
  // The path leaves through a mobile-broadband (WWAN) interface.
  static const ReachabilityFlags isWWAN;

  [[nodiscard]] constexpr bool contains(ReachabilityFlags other) const {
    return (rawValue & other.rawValue) == other.rawValue;
  }
  [[nodiscard]] constexpr bool empty() const { return rawValue == 0; }

  constexpr ReachabilityFlags& operator|=(ReachabilityFlags other) {
    rawValue |= other.rawValue;
    return *this;
  }
  [[nodiscard]] friend constexpr ReachabilityFlags operator|(ReachabilityFlags a,
                                                             ReachabilityFlags b) {
    return ReachabilityFlags{a.rawValue | b.rawValue};
  }
  [[nodiscard]] friend constexpr bool operator==(ReachabilityFlags, ReachabilityFlags) = default;
};

inline constexpr ReachabilityFlags ReachabilityFlags::transientConnection{1u << 0};
inline constexpr ReachabilityFlags ReachabilityFlags::reachable{1u << 1};
inline constexpr ReachabilityFlags ReachabilityFlags::connectionRequired{1u << 2};
inline constexpr ReachabilityFlags ReachabilityFlags::connectionOnTraffic{1u << 3};
inline constexpr ReachabilityFlags ReachabilityFlags::interventionRequired{1u << 4};
inline constexpr ReachabilityFlags ReachabilityFlags::connectionOnDemand{1u << 5};
inline constexpr ReachabilityFlags ReachabilityFlags::isLocalAddress{1u << 16};
inline constexpr ReachabilityFlags ReachabilityFlags::isDirect{1u << 17};
inline constexpr ReachabilityFlags ReachabilityFlags::isWWAN{1u << 18};

}  // namespace platform
