#include "Classes/HTTP/Curl/CurlHTTPAdapter.h"

#include <string>
#include <utility>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Network/HTTPSession.h"

namespace brelum {
namespace {

constexpr int kFirstAcceptedStatus = 200;
constexpr int kFirstRefusedStatus = 300;

platform::URLRequest urlRequestFor(const HTTPRequest& request) {
  platform::URLRequest urlRequest;
  urlRequest.url = request.url.absoluteString();
  urlRequest.method = *platform::fromRawValue<platform::HTTPMethod>(rawValue(request.method));
  for (const auto& [name, value] : request.headers) {
    urlRequest.headers.emplace_back(name, headerText(value));
  }
  urlRequest.body = request.body;
  urlRequest.atMostOnce = true;
  // No time-out of its own: the session's default is the platform's 60 seconds.
  return urlRequest;
}

HTTPResponseHeaders responseHeaders(platform::HTTPHeaders&& received) {
  HTTPResponseHeaders headers;
  for (auto& [name, value] : received) {
    auto [entry, inserted] = headers.try_emplace(std::move(name), std::move(value));
    if (!inserted) entry->second.append(", ").append(value);
  }
  return headers;
}

std::string describe(const platform::HTTPSessionError& error,
                     const std::optional<platform::HTTPURLResponse>& response) {
  if (error.kind == platform::HTTPSessionError::Kind::unacceptableStatusCode && response) {
    return "Response status code was unacceptable: " + std::to_string(response->statusCode) + ".";
  }
  return error.description;
}

HTTPAdapter::Result resultFor(HTTPRequest request, platform::DataResponse reply) {
  if (!reply.error && reply.response) {
    return HTTPResponse{std::move(request), responseHeaders(std::move(reply.response->headers)),
                        std::move(reply.data), reply.response->statusCode};
  }
  const auto& error =
      reply.error ? *reply.error
                  : platform::HTTPSessionError{platform::HTTPSessionError::Kind::transport,
                                               "The exchange ended without an HTTP response."};
  HTTPError failure{std::move(request),
                    {},
                    std::nullopt,
                    HTTPError::kNoResponseStatusCode,
                    describe(error, reply.response)};
  if (reply.response) {
    failure.headers = responseHeaders(std::move(reply.response->headers));
    failure.statusCode = reply.response->statusCode;
  }
  if (!reply.data.empty()) failure.body = std::move(reply.data);
  return std::unexpected(std::move(failure));
}

}  // namespace

void CurlHTTPAdapter::request(HTTPRequest request, Completion completion) {
  auto urlRequest = urlRequestFor(request);
  platform::HTTPSession::defaultSession()
      ->request(std::move(urlRequest))
      .validate(kFirstAcceptedStatus, kFirstRefusedStatus)
      .response(platform::DispatchQueue::main(),
                [request = std::move(request),
                 completion = std::move(completion)](platform::DataResponse reply) mutable {
                  completion(resultFor(std::move(request), std::move(reply)));
                });
}

}  // namespace brelum
