#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPI.h"

#include <mutex>
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

// The user of a burst's events is nearly always one and the same record: the waiting events
// share one copy of it rather than each holding its own.
std::shared_ptr<const EventTrackerUser> sharedUser(const EventTrackerUser& user) {
  static std::mutex mutex;
  static std::shared_ptr<const EventTrackerUser> last;
  std::lock_guard lock(mutex);
  if (!last || *last != user) last = std::make_shared<const EventTrackerUser>(user);
  return last;
}

}  // namespace

std::shared_ptr<BrelumEventTrackingAPI> BrelumEventTrackingAPI::make(
    platform::URL baseURL, std::string appId, std::string sdkVersion, EventTrackerDevice device,
    std::shared_ptr<HTTPAdapter> httpAdapter, std::shared_ptr<DateFactory> dateFactory,
    std::shared_ptr<JSONEncoderFactory> jsonEncoderFactory) {
  return make(std::make_shared<const EventGatewayProfile>(EventGatewayProfile{
                  std::move(baseURL), std::move(appId), std::move(sdkVersion), std::move(device),
                  std::move(dateFactory), std::move(jsonEncoderFactory)}),
              std::move(httpAdapter));
}

std::shared_ptr<BrelumEventTrackingAPI> BrelumEventTrackingAPI::make(
    std::shared_ptr<const EventGatewayProfile> profile, std::shared_ptr<HTTPAdapter> httpAdapter) {
  return std::make_shared<BrelumEventTrackingAPI>(std::move(profile), std::move(httpAdapter));
}

BrelumEventTrackingAPI::BrelumEventTrackingAPI(std::shared_ptr<const EventGatewayProfile> profile,
                                               std::shared_ptr<HTTPAdapter> httpAdapter)
    : profile_(std::move(profile)), httpAdapter_(std::move(httpAdapter)) {
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
    const EventGatewayProfile& profile, const EventTrackerEvent& event,
    const EventTrackerUser& user, platform::Date createdAt) {
  const auto document = EventTrackingJSONBuilder::make()->build(
      profile.appId, profile.sdkVersion, createdAt, user, profile.device, event);
  return profile.jsonEncoderFactory->make()->encode(document);
}

void BrelumEventTrackingAPI::track(const EventTrackerEvent& event, const EventTrackerUser& user,
                                   Completion completion) {
  // The event's time is when it was handed over, however long it then waits for its turn.
  const auto createdAt = profile_->dateFactory->now();
  EventOutbox::shared()->post(WaitingEvent{profile_, httpAdapter_, event, sharedUser(user),
                                           createdAt, std::move(completion)});
}

void BrelumEventTrackingAPI::send(WaitingEvent waiting, const EventOutbox::Place& place) {
  const auto& profile = *waiting.profile;
  auto& completion = waiting.completion;
  // Failures found here are reported like a request that got no response, and later, on
  // the main queue, as every outcome is.
  const auto failEarly = [&](std::string description) {
    place.release(EventOutbox::Ending::notSent);
    HTTPError error{HTTPRequest::get(profile.baseURL, requestHeaders()),
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

  const auto document = encode(profile, waiting.event, *waiting.user, waiting.createdAt);
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
  auto url = messageURL(profile.baseURL, *document);
  if (!url) {
    failEarly("The queue URL could not carry the event document.");
    return;
  }
  waiting.httpAdapter->request(
      HTTPRequest::get(std::move(*url), requestHeaders()),
      [completion = std::move(completion), place](HTTPAdapter::Result result) {
        const bool answered =
            result.has_value() || result.error().statusCode != HTTPError::kNoResponseStatusCode;
        place.release(answered ? EventOutbox::Ending::answered : EventOutbox::Ending::unanswered);
        if (!completion) return;
        if (result) {
          completion({});
        } else {
          completion(std::unexpected(EventGatewayError::httpError(std::move(result.error()))));
        }
      });
}

}  // namespace brelum
