#include "Classes/Utils/ReachabilityWeakifier.h"

#include "Classes/Utils/Reachability.h"

namespace brelum::detail {

namespace {

ReachabilityWeakifier* fromInfo(const void* info) {
  return static_cast<ReachabilityWeakifier*>(const_cast<void*>(info));
}

}  // namespace

void ReachabilityWeakifier::Release::operator()(ReachabilityWeakifier* weakifier) const {
  ReachabilityWeakifier::release(weakifier);
}

ReachabilityWeakifier::Reference ReachabilityWeakifier::make(
    std::weak_ptr<Reachability> reachability) {
  return Reference(new ReachabilityWeakifier(std::move(reachability)));
}

platform::ReachabilityTarget::Context ReachabilityWeakifier::context() {
  return {0, this, &ReachabilityWeakifier::retain, &ReachabilityWeakifier::release,
          &ReachabilityWeakifier::copyDescription};
}

const void* ReachabilityWeakifier::retain(const void* info) {
  if (info) fromInfo(info)->references_.fetch_add(1, std::memory_order_relaxed);
  return info;
}

void ReachabilityWeakifier::release(const void* info) {
  if (!info) return;
  auto* weakifier = fromInfo(info);
  if (weakifier->references_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete weakifier;
}

std::string ReachabilityWeakifier::copyDescription(const void* info) {
  if (!info) return "nil";
  auto reachability = fromInfo(info)->reachability.lock();
  return reachability ? reachability->description() : "nil";
}

}  // namespace brelum::detail
