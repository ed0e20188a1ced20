#include "Classes/Utils/ReachabilityError.h"

#include <utility>

namespace brelum {

namespace {

struct CaseName {
  const char* operator()(const ReachabilityError::FailedToCreateWithAddress&) const {
    return "failedToCreateWithAddress";
  }
  const char* operator()(const ReachabilityError::FailedToCreateWithHostname&) const {
    return "failedToCreateWithHostname";
  }
  const char* operator()(const ReachabilityError::UnableToSetCallback&) const {
    return "unableToSetCallback";
  }
  const char* operator()(const ReachabilityError::UnableToSetDispatchQueue&) const {
    return "unableToSetDispatchQueue";
  }
  const char* operator()(const ReachabilityError::UnableToGetFlags&) const {
    return "unableToGetFlags";
  }
};

}  // namespace

ReachabilityError::ReachabilityError(Value value) : value_(std::move(value)) {
  what_ = std::string("ReachabilityError.") + std::visit(CaseName{}, value_) + "(" +
          std::to_string(code()) + ")";
}

ReachabilityError ReachabilityError::failedToCreateWithAddress(const sockaddr& address,
                                                               std::int32_t code) {
  return ReachabilityError(FailedToCreateWithAddress{address, code});
}

ReachabilityError ReachabilityError::failedToCreateWithHostname(std::string hostname,
                                                                std::int32_t code) {
  return ReachabilityError(FailedToCreateWithHostname{std::move(hostname), code});
}

ReachabilityError ReachabilityError::unableToSetCallback(std::int32_t code) {
  return ReachabilityError(UnableToSetCallback{code});
}

ReachabilityError ReachabilityError::unableToSetDispatchQueue(std::int32_t code) {
  return ReachabilityError(UnableToSetDispatchQueue{code});
}

ReachabilityError ReachabilityError::unableToGetFlags(std::int32_t code) {
  return ReachabilityError(UnableToGetFlags{code});
}

std::int32_t ReachabilityError::code() const noexcept {
  return std::visit([](const auto& payload) { return payload.code; }, value_);
}

}  // namespace brelum
