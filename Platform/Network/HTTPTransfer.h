#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Platform/Network/DataRequest.h"
#include "Platform/Network/DataResponse.h"
#include "Platform/Network/HTTPHeaders.h"
#include "Platform/Network/URLRequest.h"

namespace platform {

class DispatchQueue;

// One exchange on its way through the HTTP session: what was asked, and the response as it
// arrives. Filled in before it is queued; from then on the session's worker alone touches
// it, except `completion`, which belongs to whoever takes the transfer out of the worker's
// undelivered set (the worker, or a shutdown past its deadline), or to a refused submission,
// and `cancelRequested`, which any thread may set.
class HTTPTransfer {
 public:
  using Clock = std::chrono::steady_clock;

  // Fixed before the transfer is queued.
  URLRequest request;
  std::vector<std::pair<int, int>> acceptableStatusCodes;
  std::chrono::milliseconds timeout{};
  std::shared_ptr<DispatchQueue> queue;
  const std::atomic<bool>* stopping = nullptr;
  std::size_t maximumBodySize = 0;
  Clock::time_point submitted;

  DataRequest::Completion completion;

  // Set by SentRequest::cancel(); the worker ends the exchange when it sees it.
  std::atomic<bool> cancelRequested{false};

  // The worker's.
  std::string origin;  // scheme://host:port, the unit of the cap
  // When its host last answered anything; set while the transfer runs.
  Clock::time_point* originAnswered = nullptr;
  Clock::time_point lastActivity;

  // Called by libcurl, through the easy handle, on the worker. False or a short count
  // ends the exchange.
  [[nodiscard]] bool headerLine(std::string_view line);
  [[nodiscard]] bool bodyBytes(std::string_view bytes);
  [[nodiscard]] bool progress(std::int64_t downloaded, std::int64_t uploaded);
  // Before each request goes out on a connection, the first or one libcurl opened to
  // send it again.
  [[nodiscard]] bool requestGoesOut();

  // What the completion gets once libcurl ended the exchange with `result` (a CURLcode),
  // `detail` its description and `effectiveURL` the URL that answered.
  [[nodiscard]] DataResponse outcome(int result, const char* detail, const char* effectiveURL);
  // What the completion gets when nothing moved for `timeout`.
  [[nodiscard]] DataResponse timedOut(const char* effectiveURL);
  // What the completion gets when the caller cancelled the exchange before it went out. (A
  // running one ends through progress(), and libcurl's outcome says cancelled.)
  [[nodiscard]] static DataResponse cancelledByCaller();

 private:
  void noteAnswer();

  [[nodiscard]] bool hasResponse(bool succeeded) const {
    return headerBlockDone_ && (succeeded || !redirectPending_);
  }
  [[nodiscard]] bool accepts(int status) const;
  [[nodiscard]] HTTPURLResponse response(const char* effectiveURL);

  std::vector<std::uint8_t> body_;
  HTTPHeaders responseHeaders_;
  int statusCode_ = 0;
  bool headerBlockDone_ = false;  // a final (non-1xx) header block ended
  bool redirectPending_ = false;  // ... and it was a redirect that libcurl follows
  bool bodyTooLarge_ = false;
  bool awaitingResponse_ = false;  // a request went out and no response has begun since
  bool resendRefused_ = false;
  std::int64_t seenDown_ = 0;
  std::int64_t seenUp_ = 0;
};

}  // namespace platform
