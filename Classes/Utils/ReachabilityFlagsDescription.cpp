#include "Classes/Utils/ReachabilityFlagsDescription.h"

namespace brelum::detail {

namespace {

using platform::ReachabilityFlags;

bool isOnWWANFlagSet(ReachabilityFlags flags) {
  return flags.contains(ReachabilityFlags::isWWAN);
}
bool isReachableFlagSet(ReachabilityFlags flags) {
  return flags.contains(ReachabilityFlags::reachable);
}
bool isConnectionRequiredFlagSet(ReachabilityFlags flags) {
  return flags.contains(ReachabilityFlags::connectionRequired);
}
bool isTransientConnectionFlagSet(ReachabilityFlags flags) {
  return flags.contains(ReachabilityFlags::transientConnection);
}
bool isInterventionRequiredFlagSet(ReachabilityFlags flags) {
  return flags.contains(ReachabilityFlags::interventionRequired);
}
bool isConnectionOnTrafficFlagSet(ReachabilityFlags flags) {
  return flags.contains(ReachabilityFlags::connectionOnTraffic);
}
bool isConnectionOnDemandFlagSet(ReachabilityFlags flags) {
  return flags.contains(ReachabilityFlags::connectionOnDemand);
}
bool isLocalAddressFlagSet(ReachabilityFlags flags) {
  return flags.contains(ReachabilityFlags::isLocalAddress);
}
bool isDirectFlagSet(ReachabilityFlags flags) {
  return flags.contains(ReachabilityFlags::isDirect);
}

}  // namespace

std::string description(ReachabilityFlags flags) {
  std::string text;
  text += isOnWWANFlagSet(flags) ? 'W' : '-';
  text += isReachableFlagSet(flags) ? 'R' : '-';
  text += ' ';
  text += isConnectionRequiredFlagSet(flags) ? 'c' : '-';
  text += isTransientConnectionFlagSet(flags) ? 't' : '-';
  text += isInterventionRequiredFlagSet(flags) ? 'i' : '-';
  text += isConnectionOnTrafficFlagSet(flags) ? 'C' : '-';
  text += isConnectionOnDemandFlagSet(flags) ? 'D' : '-';
  text += isLocalAddressFlagSet(flags) ? 'l' : '-';
  text += isDirectFlagSet(flags) ? 'd' : '-';
  return text;
}

}  // namespace brelum::detail
