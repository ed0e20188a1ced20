#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <exception>
#include <string>
#include <variant>

namespace brelum {

// Why a reachability monitor could not be made or started. Every case carries the
// platform's error code: the errno value of the call that failed.
class ReachabilityError : public std::exception {
 public:
  struct FailedToCreateWithAddress {
    sockaddr address;  // the address the monitor was to be made for
    std::int32_t code;
  };
  struct FailedToCreateWithHostname {
    std::string hostname;
    std::int32_t code;
  };
  struct UnableToSetCallback {
    std::int32_t code;
  };
  struct UnableToSetDispatchQueue {
    std::int32_t code;
  };
  struct UnableToGetFlags {
    std::int32_t code;
  };
  using Value = std::variant<FailedToCreateWithAddress, FailedToCreateWithHostname,
                             UnableToSetCallback, UnableToSetDispatchQueue, UnableToGetFlags>;

  [[nodiscard]] static ReachabilityError failedToCreateWithAddress(const sockaddr& address,
                                                                   std::int32_t code);
  [[nodiscard]] static ReachabilityError failedToCreateWithHostname(std::string hostname,
                                                                    std::int32_t code);
  [[nodiscard]] static ReachabilityError unableToSetCallback(std::int32_t code);
  [[nodiscard]] static ReachabilityError unableToSetDispatchQueue(std::int32_t code);
  [[nodiscard]] static ReachabilityError unableToGetFlags(std::int32_t code);

  [[nodiscard]] const Value& value() const noexcept { return value_; }
  // The platform error code, whichever the case.
  [[nodiscard]] std::int32_t code() const noexcept;
  // The case and its code, e.g. "ReachabilityError.unableToGetFlags(22)".
  [[nodiscard]] const char* what() const noexcept override { return what_.c_str(); }

 private:
  explicit ReachabilityError(Value value);

  Value value_;
  std::string what_;
};

}  // namespace brelum
