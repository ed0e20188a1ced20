#pragma once

#include <memory>

#include "Classes/HTTP/HTTPAdapter.h"

namespace brelum {

// The HTTP adapter over the process's HTTP session (libcurl). Stateless: one instance serves
// any number of requests from any thread; each completion runs on the main queue.
//
// Every request through this seam delivers an event, so each goes out at most once: when
// a connection dies after the request left, the exchange fails rather than letting libcurl
// send it again, since the queue may have stored it already.
class CurlHTTPAdapter : public HTTPAdapter {
 public:
  void request(HTTPRequest request, Completion completion) override;
};

}  // namespace brelum
