#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace testsupport {

// A loopback TCP port whose connections the kernel accepts and nobody ever answers: the
// way to make an exchange time out.
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  [[nodiscard]] std::uint16_t port() const { return port_; }
  [[nodiscard]] std::string url(std::string_view path = "/") const;

 private:
  int fd_;
  std::uint16_t port_ = 0;
};

// An http URL of a loopback port nobody listens on (bound, read, released): connecting to
// it is refused.
[[nodiscard]] std::string refusedURL();

}  // namespace testsupport
