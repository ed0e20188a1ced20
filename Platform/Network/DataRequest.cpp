#include "Platform/Network/DataRequest.h"

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Dispatch/FatalError.h"
#include "Platform/Network/HTTPSession.h"

namespace platform {

DataRequest::DataRequest(std::shared_ptr<HTTPSession> session,
                         std::expected<URLRequest, HTTPSessionError> request)
    : session_(std::move(session)), request_(std::move(request)) {
}

DataRequest::DataRequest(DataRequest&&) noexcept = default;
DataRequest& DataRequest::operator=(DataRequest&&) noexcept = default;
DataRequest::~DataRequest() = default;

DataRequest& DataRequest::validate(int lowerBound, int upperBound) & {
  acceptableStatusCodes_.emplace_back(lowerBound, upperBound);
  return *this;
}

DataRequest&& DataRequest::validate(int lowerBound, int upperBound) && {
  return std::move(validate(lowerBound, upperBound));
}

DataRequest& DataRequest::timeout(std::chrono::milliseconds timeout) & {
  if (request_) request_->timeout = timeout;
  return *this;
}

DataRequest&& DataRequest::timeout(std::chrono::milliseconds timeout) && {
  return std::move(this->timeout(timeout));
}

DataRequest& DataRequest::atMostOnce() & {
  if (request_) request_->atMostOnce = true;
  return *this;
}

DataRequest&& DataRequest::atMostOnce() && {
  return std::move(atMostOnce());
}

SentRequest DataRequest::response(std::shared_ptr<DispatchQueue> queue, Completion completion) && {
  if (!session_) fatalError("DataRequest::response called on a request that was already sent");
  if (!queue) queue = DispatchQueue::main();
  auto session = std::move(session_);
  if (!request_) {
    queue->async(
        [completion = std::move(completion), error = std::move(request_.error())]() mutable {
          completion(DataResponse{std::nullopt, {}, std::move(error)});
        });
    return {};
  }
  return session->submit(std::move(*request_), std::move(acceptableStatusCodes_), std::move(queue),
                         std::move(completion));
}

SentRequest DataRequest::response(Completion completion) && {
  return std::move(*this).response(nullptr, std::move(completion));
}

}  // namespace platform
