#include "Platform/Network/HTTPTransfer.h"

#include <algorithm>
#include <string>

#include <curl/curl.h>

#include "Platform/Foundation/ASCII.h"

namespace platform {
namespace {

using Kind = HTTPSessionError::Kind;

HTTPSessionError errorFor(CURLcode code, const char* detail) {
  Kind kind = Kind::transport;
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
      kind = Kind::cannotConnect;
      break;
    case CURLE_OPERATION_TIMEDOUT:
      kind = Kind::timedOut;
      break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
      kind = Kind::secureConnectionFailed;
      break;
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      kind = Kind::connectionLost;
      break;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      kind = Kind::invalidURL;
      break;
    case CURLE_ABORTED_BY_CALLBACK:
      kind = Kind::cancelled;
      break;
    default:
      break;
  }
  std::string description = (detail && *detail) ? detail : curl_easy_strerror(code);
  return {kind, std::move(description)};
}

}  // namespace

void HTTPTransfer::noteAnswer() {
  lastActivity = Clock::now();
  if (originAnswered) *originAnswered = lastActivity;
}

bool HTTPTransfer::headerLine(std::string_view line) {
  noteAnswer();
  if (line.starts_with("HTTP/")) {
    // A new response starts: what came before was interim or a redirect.
    awaitingResponse_ = false;
    responseHeaders_.clear();
    body_.clear();
    headerBlockDone_ = false;
    redirectPending_ = false;
    statusCode_ = 0;
    const auto space = line.find(' ');
    if (space != std::string_view::npos && line.size() >= space + 4) {
      int status = 0;
      for (char c : line.substr(space + 1, 3)) {
        if (c < '0' || c > '9') return true;
        status = status * 10 + (c - '0');
      }
      statusCode_ = status;
    }
    return true;
  }
  if (asciiTrimmed(line).empty()) {
    if (statusCode_ >= 200) {
      headerBlockDone_ = true;
      redirectPending_ = statusCode_ >= 300 && statusCode_ < 400 &&
                         headerValue(responseHeaders_, "Location").has_value();
    }
    return true;
  }
  if ((line.front() == ' ' || line.front() == '\t') && !responseHeaders_.empty()) {
    // An obsolete folded continuation of the previous field.
    auto& value = responseHeaders_.back().second;
    value += ' ';
    value += asciiTrimmed(line);
    return true;
  }
  const auto colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return true;
  responseHeaders_.emplace_back(std::string(line.substr(0, colon)),
                                std::string(asciiTrimmed(line.substr(colon + 1))));
  return true;
}

bool HTTPTransfer::bodyBytes(std::string_view bytes) {
  noteAnswer();
  if (body_.size() + bytes.size() > maximumBodySize) {
    bodyTooLarge_ = true;
    return false;
  }
  body_.insert(body_.end(), bytes.begin(), bytes.end());
  return true;
}

bool HTTPTransfer::progress(std::int64_t downloaded, std::int64_t uploaded) {
  // A shutdown or a cancel from another thread stops transfers this way, without touching
  // handles.
  if (stopping->load(std::memory_order_acquire)) return false;
  if (cancelRequested.load(std::memory_order_acquire)) return false;
  if (downloaded != seenDown_ || uploaded != seenUp_) {
    seenDown_ = downloaded;
    seenUp_ = uploaded;
    // Bytes going out keep this exchange alive, but say nothing of whether the host
    // answers: only answers keep the requests waiting for it alive.
    lastActivity = Clock::now();
  }
  return true;
}

bool HTTPTransfer::requestGoesOut() {
  // Going out again with no response begun since the last time: libcurl found the
  // connection dead after sending and is about to send the request once more. A redirect
  // comes after a response, so it passes.
  if (awaitingResponse_ && request.atMostOnce) {
    resendRefused_ = true;
    return false;
  }
  awaitingResponse_ = true;
  return true;
}

bool HTTPTransfer::accepts(int status) const {
  return std::ranges::all_of(acceptableStatusCodes, [&](const auto& range) {
    return status >= range.first && status < range.second;
  });
}

HTTPURLResponse HTTPTransfer::response(const char* effectiveURL) {
  return {statusCode_, std::move(responseHeaders_),
          effectiveURL ? std::string(effectiveURL) : request.url};
}

DataResponse HTTPTransfer::outcome(int result, const char* detail, const char* effectiveURL) {
  DataResponse reply;
  const auto code = static_cast<CURLcode>(result);
  const bool succeeded = code == CURLE_OK;
  if (hasResponse(succeeded)) reply.response = response(effectiveURL);
  if (resendRefused_) {
    reply.error = HTTPSessionError{
        Kind::connectionLost,
        "The connection closed after the request went out and before any answer; the request "
        "is not sent again, as it may have reached the server."};
  } else if (bodyTooLarge_) {
    reply.error =
        HTTPSessionError{Kind::responseTooLarge, "The response body is larger than " +
                                                     std::to_string(maximumBodySize) + " bytes."};
  } else if (!succeeded) {
    reply.error = errorFor(code, detail);
  } else if (!reply.response) {
    reply.error = HTTPSessionError{Kind::transport, "The server sent no HTTP response."};
  } else if (!accepts(reply.response->statusCode)) {
    reply.error = HTTPSessionError{Kind::unacceptableStatusCode,
                                   "Response status code was unacceptable: " +
                                       std::to_string(reply.response->statusCode) + "."};
  }
  reply.data = std::move(body_);
  return reply;
}

DataResponse HTTPTransfer::timedOut(const char* effectiveURL) {
  DataResponse reply;
  if (hasResponse(false)) reply.response = response(effectiveURL);
  reply.data = std::move(body_);
  reply.error = HTTPSessionError{Kind::timedOut, "The request timed out: nothing arrived for " +
                                                     std::to_string(timeout.count()) + " ms."};
  return reply;
}

DataResponse HTTPTransfer::cancelledByCaller() {
  return {std::nullopt, {}, HTTPSessionError{Kind::cancelled, "The request was cancelled."}};
}

}  // namespace platform
