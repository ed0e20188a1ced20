#pragma once

#include <memory>
#include <string>

#include "Classes/API/APIRequest.h"
#include "Classes/EventTracker/Gateway/EventTrackingGateway.h"
#include "Classes/HTTP/HTTPAdapter.h"
#include "Platform/Foundation/URL.h"

namespace brelum {

// Posts an event's data record to the customer's own endpoint through the REST pipeline:
// a JSON body {"Data": <the record's dictionary>} sent to `baseURL` itself. No factory in
// the framework makes one; a host may build it for its own gateway factory.
//
// Immutable once made; track() may be called from any thread and the gateway released as
// soon as it returns. The completion runs on the main queue.
class CustomerEventTrackingAPI : public EventTrackingGateway {
 public:
  [[nodiscard]] static std::shared_ptr<CustomerEventTrackingAPI> make(
      platform::URL baseURL, std::string appId, std::string sdkVersion,
      std::shared_ptr<HTTPAdapter> httpAdapter);

  CustomerEventTrackingAPI(platform::URL baseURL, std::string appId, std::string sdkVersion,
                           std::shared_ptr<HTTPAdapter> httpAdapter);

  // A success whenever the pipeline hands over a response body (it does not say its
  // status); a failure, with status -1000 and the pipeline's error text, when it reports an
  // error instead.
  void track(const EventTrackerEvent& event, const EventTrackerUser& user,
             Completion completion) override;

  [[nodiscard]] const platform::URL& baseURL() const noexcept { return baseURL_; }
  // Held for hosts that expect it; deliveries go through the REST pipeline.
  [[nodiscard]] const std::shared_ptr<HTTPAdapter>& httpAdapter() const noexcept {
    return httpAdapter_;
  }

 protected:
  // The request each event is sent with: a POST with an empty endpoint.
  [[nodiscard]] virtual std::shared_ptr<APIRequest> makeRequest() const;

 private:
  const platform::URL baseURL_;
  const std::string appId_;
  const std::string sdkVersion_;
  const std::shared_ptr<HTTPAdapter> httpAdapter_;
};

}  // namespace brelum
