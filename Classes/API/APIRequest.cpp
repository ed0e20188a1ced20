#include "Classes/API/APIRequest.h"

#include <array>

#include "Platform/Foundation/Console.h"
#include "Platform/Foundation/UTF8.h"
#include "Platform/Network/HTTPSession.h"

namespace brelum {
namespace {

constexpr std::array<std::pair<APIRequest::ContentType, std::string_view>, 2> kContentTypes{{
    {APIRequest::ContentType::json, "application/json"},
    {APIRequest::ContentType::text, "text/plain"},
}};

std::string utf8OrEmpty(const APIRequest::Body& body) {
  std::string text(body.begin(), body.end());
  return platform::isValidUTF8(text) ? text : std::string();
}

}  // namespace

std::string_view rawValue(APIRequest::ContentType type) {
  return kContentTypes.at(static_cast<std::size_t>(type)).second;
}

template <>
std::optional<APIRequest::ContentType> fromRawValue<APIRequest::ContentType>(
    std::string_view rawValue) {
  for (const auto& [type, text] : kContentTypes) {
    if (text == rawValue) return type;
  }
  return std::nullopt;
}

platform::ParameterEncoding encoding(APIRequest::ContentType type) {
  return type == APIRequest::ContentType::json ? platform::ParameterEncoding::json
                                               : platform::ParameterEncoding::url;
}

std::shared_ptr<APIRequest> APIRequest::make(Method method, std::string endpoint) {
  return std::shared_ptr<APIRequest>(new APIRequest(method, std::move(endpoint)));
}

APIRequest::APIRequest(Method method, std::string endpoint)
    : method_(method), endpoint_(std::move(endpoint)) {
  // Only at construction: a GET sends its parameters in the query string as plain text.
  if (platform::rawValue(method) == "GET") contentType_ = ContentType::text;
}

// The HTTP session hands over a body for every exchange that completes, also an empty one
// for a transport failure, so every send ends in `onSuccess`; the error callback stays in
// the signature for the callers that share it with requestJSONObject's parse failure.
void APIRequest::sendRequest(const platform::URL& baseURL, std::function<void(Body)> onSuccess,
                             OnError /*onError*/) {
  headers_["Content-Type"] = std::string(rawValue(contentType()));
  const bool logs = verbose();
  if (logs) platform::Console::print("Sending " + baseURL.absoluteString() + " " + endpoint());

  platform::HTTPHeaders headerFields(headers().begin(), headers().end());
  auto request = platform::HTTPSession::defaultSession()->request(
      baseURL.appendingPathComponent(endpoint()).absoluteString(), method(), params(),
      encoding(contentType()), std::move(headerFields));
  if (atMostOnce_) request.atMostOnce();
  std::move(request)
      .validate(validStatusCodes().first, validStatusCodes().pastLast)
      .response(platform::DispatchQueue::main(), [self = shared_from_this(), logs, baseURL,
                                                  onSuccess = std::move(onSuccess)](
                                                     platform::DataResponse reply) {
        if (logs) {
          platform::Console::print("Received " + baseURL.absoluteString() + " " + self->endpoint());
        }
        // Whatever the status: a server's error document is still a document.
        if (logs) platform::Console::print(utf8OrEmpty(reply.data));
        onSuccess(std::move(reply.data));
      });
}

}  // namespace brelum
