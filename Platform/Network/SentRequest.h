#pragma once

#include <memory>
#include <utility>

namespace platform {

class HTTPSessionWorker;
class HTTPTransfer;

// A request that DataRequest::response() sent, for cancelling it.
//
// cancel() may be called from any thread, any number of times. An exchange still under way
// ends at once (its connection closes; one still waiting for a connection never goes out) and
// its completion runs as always, exactly once, on its queue, with the error `cancelled`. Once
// the exchange has ended, or for a request that could not be sent, it does nothing. The handle
// keeps neither the exchange nor the session alive.
class SentRequest {
 public:
  SentRequest() = default;

  void cancel() const;

 private:
  friend class HTTPSession;

  SentRequest(std::weak_ptr<HTTPTransfer> transfer, std::weak_ptr<HTTPSessionWorker> worker)
      : transfer_(std::move(transfer)), worker_(std::move(worker)) {}

  std::weak_ptr<HTTPTransfer> transfer_;
  std::weak_ptr<HTTPSessionWorker> worker_;
};

}  // namespace platform
