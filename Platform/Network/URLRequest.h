#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Network/HTTPHeaders.h"
#include "Platform/Network/HTTPMethod.h"

namespace platform {

// A request ready to send: what goes on the wire, as given. The HTTP session adds only
// what the transport needs (Host, Content-Length, its default User-Agent and
// Accept-Encoding); a field given here replaces a default of the same name.
struct URLRequest {
  static constexpr std::chrono::milliseconds kDefaultTimeout{60'000};

  std::string url;  // absolute http or https URL, query included
  HTTPMethod method = HTTPMethod::get;
  HTTPHeaders headers;
  std::optional<std::vector<std::uint8_t>> body;  // none: no body is sent
  // The longest the exchange may go without a byte moving; none: the session's setting.
  std::optional<std::chrono::milliseconds> timeout;
  // libcurl sends a request again on a new connection when a kept-alive one dies before
  // any answer; a request that must not reach the server twice (an event: the server may
  // have acted on it already) sets this, and then fails with connectionLost instead.
  bool atMostOnce = false;
};

}  // namespace platform
