#include "Platform/Network/HTTPSession.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include <curl/curl.h>
#include <boost/url/parse.hpp>
#include <boost/url/scheme.hpp>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Network/HTTPSessionWorker.h"
#include "Platform/Network/HTTPTransfer.h"

namespace platform {

namespace {

using Kind = HTTPSessionError::Kind;
using Clock = HTTPSession::Clock;
using std::chrono::milliseconds;

// Time-outs are kept within these bounds, so that deadlines computed from them never
// overflow the clock.
constexpr milliseconds kShortestTimeout{1};
constexpr milliseconds kLongestTimeout{std::chrono::hours(24 * 7)};

std::string defaultUserAgent() {
  return std::string("BrelumPlatform/1.0 libcurl/") + curl_version_info(CURLVERSION_NOW)->version;
}

std::optional<HTTPSessionError> checkHeaders(const HTTPHeaders& headers) {
  for (const auto& [name, value] : headers) {
    if (auto problem = headerFieldProblem(name, value)) {
      return HTTPSessionError{Kind::invalidHeader, std::move(*problem)};
    }
  }
  return std::nullopt;
}

// Strict RFC 3986 parsing: libcurl's own parser is lenient ("http:///name" becomes a request
// to the host "name"), and a URL that means something other than what it says must not
// leave the machine.
std::optional<HTTPSessionError> checkURL(const std::string& url) {
  auto invalid = [&](std::string_view why) {
    return HTTPSessionError{Kind::invalidURL, "\"" + url + "\" " + std::string(why)};
  };
  auto parsed = boost::urls::parse_absolute_uri(url);
  if (!parsed) return invalid("is not an absolute URL: " + parsed.error().message());
  const auto scheme = parsed->scheme_id();
  if (scheme != boost::urls::scheme::http && scheme != boost::urls::scheme::https) {
    return invalid("is not an http or https URL");
  }
  if (parsed->encoded_host().empty()) return invalid("has no host");
  return std::nullopt;
}

}  // namespace

// At process exit the default session is destroyed with the other statics. The queues its
// completions go to are made before it (defaultSession() touches them first), so they are
// destroyed after it and the shutdown can always post its cancellations. Nobody runs the
// main loop any more by then, so a completion posted to the main queue at exit does not
// run: it is released, with what it captured, when the main queue's context is destroyed.
// Running completions inline instead would call host code during static destruction, when
// the objects it refers to (locals of main(), other statics) may already be gone.
const std::shared_ptr<HTTPSession>& HTTPSession::defaultSession() {
  static const std::shared_ptr<HTTPSession> session = [] {
    (void)DispatchQueue::main();
    (void)DispatchQueue::global();
    return make();
  }();
  return session;
}

std::shared_ptr<HTTPSession> HTTPSession::make() {
  return make(Configuration{});
}

std::shared_ptr<HTTPSession> HTTPSession::make(Configuration configuration) {
  return std::shared_ptr<HTTPSession>(new HTTPSession(std::move(configuration)));
}

HTTPSession::HTTPSession(Configuration configuration)
    : maximumResponseBodySize_(configuration.maximumResponseBodySize),
      timeoutMs_(configuration.timeout.count()),
      worker_(std::make_shared<HTTPSessionWorker>(
          configuration.userAgent.empty() ? defaultUserAgent() : configuration.userAgent,
          configuration.maximumConnectionsPerHost)) {
  // The thread holds the worker, so a thread left behind by a late shutdown never reaches
  // freed memory.
  thread_ = std::thread([worker = worker_] { worker->run(); });
}

HTTPSession::~HTTPSession() {
  shutdown(Clock::now() + kDestructorShutdownGrace);
}

DataRequest HTTPSession::request(std::string url, HTTPMethod method,
                                 const nlohmann::json& parameters, ParameterEncoding encoding,
                                 HTTPHeaders headers) {
  URLRequest prepared{std::move(url), method, std::move(headers), std::nullopt, std::nullopt};
  if (auto failure = checkURL(prepared.url)) {
    return DataRequest(shared_from_this(), std::unexpected(std::move(*failure)));
  }
  if (auto encoded = encodeParameters(prepared, parameters, encoding); !encoded) {
    return DataRequest(shared_from_this(), std::unexpected(std::move(encoded.error())));
  }
  return request(std::move(prepared));
}

DataRequest HTTPSession::request(URLRequest request) {
  auto failure = checkURL(request.url);
  if (!failure) failure = checkHeaders(request.headers);
  if (failure) return DataRequest(shared_from_this(), std::unexpected(std::move(*failure)));
  return DataRequest(shared_from_this(), std::move(request));
}

void HTTPSession::setTimeout(std::chrono::milliseconds timeout) {
  timeoutMs_.store(timeout.count(), std::memory_order_relaxed);
}

std::chrono::milliseconds HTTPSession::timeout() const {
  return milliseconds(timeoutMs_.load(std::memory_order_relaxed));
}

SentRequest HTTPSession::submit(URLRequest request,
                                std::vector<std::pair<int, int>> acceptableStatusCodes,
                                std::shared_ptr<DispatchQueue> queue,
                                DataRequest::Completion completion) {
  auto transfer = std::make_shared<HTTPTransfer>();
  transfer->timeout =
      std::clamp(request.timeout.value_or(timeout()), kShortestTimeout, kLongestTimeout);
  transfer->request = std::move(request);
  transfer->acceptableStatusCodes = std::move(acceptableStatusCodes);
  transfer->queue = std::move(queue);
  transfer->stopping = &worker_->stopping();
  transfer->maximumBodySize = maximumResponseBodySize_;
  transfer->submitted = Clock::now();
  transfer->completion = std::move(completion);
  worker_->enqueue(transfer);
  return SentRequest(transfer, worker_);
}

void HTTPSession::shutdown(Clock::time_point deadline) {
  worker_->requestStop();
  const bool finished = worker_->waitUntilFinished(deadline);
  if (!finished) worker_->cancelUndelivered();
  std::lock_guard lock(threadMutex_);
  if (!thread_.joinable()) return;
  if (finished && thread_.get_id() != std::this_thread::get_id()) {
    thread_.join();
  } else {
    thread_.detach();
  }
}

}  // namespace platform
