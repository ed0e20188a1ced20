#pragma once

#include <chrono>
#include <expected>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "Platform/Network/DataResponse.h"
#include "Platform/Network/HTTPSessionError.h"
#include "Platform/Network/SentRequest.h"
#include "Platform/Network/URLRequest.h"

namespace platform {

class DispatchQueue;
class HTTPSession;

// One exchange being put together: made by HTTPSession::request(), narrowed by validate()
// and timeout(), sent by response(), which names the queue its completion runs on.
//
//   session->request(url, HTTPMethod::post, parameters, ParameterEncoding::json, headers)
//       .validate(200, 300)
//       .response(DispatchQueue::main(), [](DataResponse reply) { ... });
//
// Nothing goes out before response(): a request dropped without it is never sent. The
// completion runs exactly once, on the named queue, whatever happens to the exchange or the
// session (a request that could not be prepared, such as one for an ftp URL, delivers its
// error the same way). response() answers a handle that cancels the exchange.
class DataRequest {
 public:
  using Completion = std::move_only_function<void(DataResponse)>;

  DataRequest(DataRequest&&) noexcept;
  DataRequest& operator=(DataRequest&&) noexcept;
  ~DataRequest();

  // Accepts only statuses from `lowerBound` up to but excluding `upperBound`; a status
  // outside every validated range makes the error unacceptableStatusCode, while the
  // response and body are still delivered. Without validate() every status is accepted.
  DataRequest& validate(int lowerBound = 200, int upperBound = 300) &;
  DataRequest&& validate(int lowerBound = 200, int upperBound = 300) &&;

  // The longest the exchange may go without a byte moving.
  DataRequest& timeout(std::chrono::milliseconds timeout) &;
  DataRequest&& timeout(std::chrono::milliseconds timeout) &&;

  // Never sent a second time (see URLRequest::atMostOnce).
  DataRequest& atMostOnce() &;
  DataRequest&& atMostOnce() &&;

  // What will be sent, or why it cannot be.
  [[nodiscard]] const std::expected<URLRequest, HTTPSessionError>& urlRequest() const {
    return request_;
  }

  // Sends the request; `completion` runs on `queue` (the main queue when null).
  SentRequest response(std::shared_ptr<DispatchQueue> queue, Completion completion) &&;
  SentRequest response(Completion completion) &&;

 private:
  friend class HTTPSession;

  DataRequest(std::shared_ptr<HTTPSession> session,
              std::expected<URLRequest, HTTPSessionError> request);

  std::shared_ptr<HTTPSession> session_;
  std::expected<URLRequest, HTTPSessionError> request_;
  std::vector<std::pair<int, int>> acceptableStatusCodes_;
};

}  // namespace platform
