#pragma once

#include <memory>

#include "Classes/HTTP/HTTPAdapter.h"

namespace brelum {

// The HTTP adapter over the process's HTTP session (libcurl). Stateless: one instance serves
// any number of requests from any thread; each completion runs on the main queue.
class CurlHTTPAdapter : public HTTPAdapter {
 public:
  void request(HTTPRequest request, Completion completion) override;
};

}  // namespace brelum
