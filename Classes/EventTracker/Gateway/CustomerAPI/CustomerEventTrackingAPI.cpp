#include "Classes/EventTracker/Gateway/CustomerAPI/CustomerEventTrackingAPI.h"

#include <utility>

#include "Classes/EventTracker/EventTrackerData.h"

namespace brelum {

std::shared_ptr<CustomerEventTrackingAPI> CustomerEventTrackingAPI::make(
    platform::URL baseURL, std::string appId, std::string sdkVersion,
    std::shared_ptr<HTTPAdapter> httpAdapter) {
  return std::make_shared<CustomerEventTrackingAPI>(std::move(baseURL), std::move(appId),
                                                    std::move(sdkVersion), std::move(httpAdapter));
}

CustomerEventTrackingAPI::CustomerEventTrackingAPI(platform::URL baseURL, std::string appId,
                                                   std::string sdkVersion,
                                                   std::shared_ptr<HTTPAdapter> httpAdapter)
    : baseURL_(std::move(baseURL)),
      appId_(std::move(appId)),
      sdkVersion_(std::move(sdkVersion)),
      httpAdapter_(std::move(httpAdapter)) {
}

std::shared_ptr<APIRequest> CustomerEventTrackingAPI::makeRequest() const {
  return APIRequest::make(platform::HTTPMethod::post, "");
}

void CustomerEventTrackingAPI::track(const EventTrackerEvent& event, const EventTrackerUser& user,
                                     Completion completion) {
  auto request = makeRequest();
  nlohmann::json params = nlohmann::json::object();
  params["Data"] = EventTrackerData(appId_, sdkVersion_, event, user).dictionary();
  request->setParams(params);
  // An event is one request: the endpoint may have stored it before the connection died.
  request->setAtMostOnce(true);

  // The pipeline calls exactly one of the two handlers; both share the one completion.
  auto shared = std::make_shared<Completion>(std::move(completion));
  request->sendRequest(
      baseURL_,
      [shared](APIRequest::Body) {
        if (auto done = std::exchange(*shared, nullptr)) done({});
      },
      [shared, url = baseURL_.appendingPathComponent(request->endpoint()),
       body = params.dump()](std::optional<APIRequest::Error> error) {
        // The pipeline gives no status here, so the failure carries the marker of an
        // exchange without an HTTP response.
        HTTPError failure{HTTPRequest{HTTPMethod::post,
                                      url,
                                      {{"Content-Type", "application/json"}},
                                      std::vector<std::uint8_t>(body.begin(), body.end())},
                          {},
                          std::nullopt,
                          HTTPError::kNoResponseStatusCode,
                          error ? error->description : "The customer endpoint gave no response."};
        if (auto done = std::exchange(*shared, nullptr)) {
          done(std::unexpected(EventGatewayError::httpError(std::move(failure))));
        }
      });
}

}  // namespace brelum
