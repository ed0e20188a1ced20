#pragma once

#include <expected>
#include <memory>
#include <string>

#include "Classes/DateFactory.h"
#include "Classes/EventTracker/EventTrackerDevice.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/EncodingError.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/JSONEncoderFactory.h"
#include "Classes/EventTracker/Gateway/EventTrackingGateway.h"
#include "Classes/HTTP/HTTPAdapter.h"
#include "Platform/Foundation/URL.h"

namespace brelum {

// Delivers one event to the cloud queue: the event document as the "MessageBody" of an
// unsigned "SendMessage" GET through the HTTP adapter. One request, no retry.
//
// Immutable once made; track() may be called from any thread and the gateway released as
// soon as it returns. The completion runs on the main queue.
class BrelumEventTrackingAPI : public EventTrackingGateway {
 public:
  [[nodiscard]] static std::shared_ptr<BrelumEventTrackingAPI> make(
      platform::URL baseURL, std::string appId, std::string sdkVersion, EventTrackerDevice device,
      std::shared_ptr<HTTPAdapter> httpAdapter, std::shared_ptr<DateFactory> dateFactory,
      std::shared_ptr<JSONEncoderFactory> jsonEncoderFactory);

  BrelumEventTrackingAPI(platform::URL baseURL, std::string appId, std::string sdkVersion,
                         EventTrackerDevice device, std::shared_ptr<HTTPAdapter> httpAdapter,
                         std::shared_ptr<DateFactory> dateFactory,
                         std::shared_ptr<JSONEncoderFactory> jsonEncoderFactory);

  // The largest message the queue takes, in bytes of the decoded body.
  static constexpr std::size_t kMaximumMessageBytes = 262'144;

  // Any status from 200 to 299 is a success, whatever the body; anything else, or no
  // response, fails with the adapter's HTTPError. An event whose document cannot be
  // written (a session time that is not a finite number) or is larger than the queue
  // takes sends nothing and fails with status -1000 and the reason.
  void track(const EventTrackerEvent& event, const EventTrackerUser& user,
             Completion completion) override;

  [[nodiscard]] const platform::URL& baseURL() const noexcept { return baseURL_; }
  [[nodiscard]] const std::shared_ptr<HTTPAdapter>& httpAdapter() const noexcept {
    return httpAdapter_;
  }
  [[nodiscard]] const std::shared_ptr<DateFactory>& dateFactory() const noexcept {
    return dateFactory_;
  }
  [[nodiscard]] const std::shared_ptr<JSONEncoderFactory>& jsonEncoderFactory() const noexcept {
    return jsonEncoderFactory_;
  }

  // `baseURL` with its query replaced by "Action=SendMessage&MessageBody=<document>" (scheme,
  // authority, path and fragment kept). The document is escaped so that form decoding, as
  // the queue does it ("+" is a space, "&" and "=" split), gives it back byte for byte.
  [[nodiscard]] static std::optional<platform::URL> messageURL(const platform::URL& baseURL,
                                                               std::string_view document);

 private:
  [[nodiscard]] std::expected<std::string, EncodingError> encode(
      const EventTrackerEvent& event, const EventTrackerUser& user) const;

  const platform::URL baseURL_;
  const std::string appId_;
  const std::string sdkVersion_;
  const EventTrackerDevice device_;
  const std::shared_ptr<HTTPAdapter> httpAdapter_;
  const std::shared_ptr<DateFactory> dateFactory_;
  const std::shared_ptr<JSONEncoderFactory> jsonEncoderFactory_;
};

}  // namespace brelum
