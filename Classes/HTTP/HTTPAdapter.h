#pragma once

#include <expected>
#include <functional>
#include <memory>

#include "Classes/HTTP/HTTPError.h"
#include "Classes/HTTP/HTTPRequest.h"
#include "Classes/HTTP/HTTPResponse.h"

namespace brelum {

// The seam through which the event side sends HTTP: one exchange per call, no handle, no
// cancellation. The completion runs exactly once, later, on the main queue.
class HTTPAdapter {
 public:
  using Result = std::expected<HTTPResponse, HTTPError>;
  using Completion = std::function<void(Result)>;

  virtual ~HTTPAdapter() = default;

  virtual void request(HTTPRequest request, Completion completion) = 0;
};

}  // namespace brelum
