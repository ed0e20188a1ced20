#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPI.h"

#include <utility>

#include "Classes/EventTracker/Gateway/BrelumAPI/EventTrackingJSONBuilder.h"
#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/URLComponents.h"

namespace brelum {
namespace {

constexpr std::string_view kMessageQuery = "?Action=SendMessage&MessageBody=";

HTTPRequestHeaders requestHeaders() {
  return {{"Content-Type", "application/json"}};
}

}  // namespace

std::shared_ptr<BrelumEventTrackingAPI> BrelumEventTrackingAPI::make(
    platform::URL baseURL, std::string appId, std::string sdkVersion, EventTrackerDevice device,
    std::shared_ptr<HTTPAdapter> httpAdapter, std::shared_ptr<DateFactory> dateFactory,
    std::shared_ptr<JSONEncoderFactory> jsonEncoderFactory) {
  return std::make_shared<BrelumEventTrackingAPI>(
      std::move(baseURL), std::move(appId), std::move(sdkVersion), std::move(device),
      std::move(httpAdapter), std::move(dateFactory), std::move(jsonEncoderFactory));
}

BrelumEventTrackingAPI::BrelumEventTrackingAPI(
    platform::URL baseURL, std::string appId, std::string sdkVersion, EventTrackerDevice device,
    std::shared_ptr<HTTPAdapter> httpAdapter, std::shared_ptr<DateFactory> dateFactory,
    std::shared_ptr<JSONEncoderFactory> jsonEncoderFactory)
    : baseURL_(std::move(baseURL)),
      appId_(std::move(appId)),
      sdkVersion_(std::move(sdkVersion)),
      device_(std::move(device)),
      httpAdapter_(std::move(httpAdapter)),
      dateFactory_(std::move(dateFactory)),
      jsonEncoderFactory_(std::move(jsonEncoderFactory)) {
}

std::optional<platform::URL> BrelumEventTrackingAPI::messageURL(const platform::URL& baseURL,
                                                                std::string_view document) {
  // The URL is kept as its text, so the query is replaced in the text: up to the first "?"
  // (which cannot occur earlier in a URL) or the fragment, whichever comes first. Building
  // it through URLComponents gives the same text at several times the cost per event.
  const std::string_view text = baseURL.absoluteString();
  const auto fragmentAt = text.find('#');
  const auto queryAt = text.substr(0, fragmentAt).find('?');
  const auto end = std::min(queryAt, fragmentAt);

  const std::string body = platform::percentEncodeQueryValue(document);
  std::string url;
  url.reserve(text.size() + kMessageQuery.size() + body.size());
  url += text.substr(0, end);
  url += kMessageQuery;
  url += body;
  if (fragmentAt != std::string_view::npos) url += text.substr(fragmentAt);
  return platform::URL::make(url);
}

std::expected<std::string, EncodingError> BrelumEventTrackingAPI::encode(
    const EventTrackerEvent& event, const EventTrackerUser& user) const {
  const auto createdAt = dateFactory_->now();
  const auto document =
      EventTrackingJSONBuilder::make()->build(appId_, sdkVersion_, createdAt, user, device_, event);
  return jsonEncoderFactory_->make()->encode(document);
}

void BrelumEventTrackingAPI::track(const EventTrackerEvent& event, const EventTrackerUser& user,
                                   Completion completion) {
  // Failures found here are reported like a request that got no response, and later, on
  // the main queue, as every outcome is.
  const auto failEarly = [this, &completion](std::string description) {
    HTTPError error{HTTPRequest::get(baseURL_, requestHeaders()),
                    {},
                    std::nullopt,
                    HTTPError::kNoResponseStatusCode,
                    std::move(description)};
    platform::DispatchQueue::main()->async(
        [completion = std::move(completion), error = std::move(error)]() mutable {
          if (completion)
            completion(std::unexpected(EventGatewayError::httpError(std::move(error))));
        });
  };

  const auto document = encode(event, user);
  if (!document) {
    failEarly("The event document could not be written: " + document.error().debugDescription +
              " (" + document.error().codingPath + ")");
    return;
  }
  // The queue would refuse it; and a request head of that size (up to three times the
  // document once escaped) is more than the HTTP layer is sure to get out.
  if (document->size() > kMaximumMessageBytes) {
    failEarly("The event document is " + std::to_string(document->size()) +
              " bytes; the queue takes at most " + std::to_string(kMaximumMessageBytes) + ".");
    return;
  }
  auto url = messageURL(baseURL_, *document);
  if (!url) {
    failEarly("The queue URL could not carry the event document.");
    return;
  }
  httpAdapter_->request(
      HTTPRequest::get(std::move(*url), requestHeaders()),
      [completion = std::move(completion)](HTTPAdapter::Result result) {
        if (!completion) return;
        if (result) {
          completion({});
        } else {
          completion(std::unexpected(EventGatewayError::httpError(std::move(result.error()))));
        }
      });
}

}  // namespace brelum
