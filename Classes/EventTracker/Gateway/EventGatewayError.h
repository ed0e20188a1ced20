#pragma once

#include <string>
#include <variant>

#include "Classes/HTTP/HTTPError.h"

namespace brelum {

// Why a gateway could not deliver an event. One case, the failed HTTP exchange.
class EventGatewayError {
 public:
  struct HttpError {
    HTTPError error;
  };
  using Value = std::variant<HttpError>;

  [[nodiscard]] static EventGatewayError httpError(HTTPError error);

  [[nodiscard]] const Value& value() const noexcept { return value_; }
  // The failed exchange, whichever the case.
  [[nodiscard]] const HTTPError& underlyingHTTPError() const noexcept;

  // "HTTP Error: <whole request URL, query included> got an <status> response.", the status
  // being -1000 when no HTTP response arrived.
  [[nodiscard]] std::string debugDescription() const;

 private:
  explicit EventGatewayError(Value value) : value_(std::move(value)) {}

  Value value_;
};

}  // namespace brelum
