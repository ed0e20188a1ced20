#pragma once

#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Classes/DateFactory.h"
#include "Classes/EventTracker/EventTrackerDevice.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/EncodingError.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/EventGatewayProfile.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/EventOutbox.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/JSONEncoderFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/WaitingEvent.h"
#include "Classes/EventTracker/Gateway/EventTrackingGateway.h"
#include "Classes/HTTP/HTTPAdapter.h"
#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/URL.h"

namespace brelum {

// Delivers one event to the cloud queue: the event document as the "MessageBody" of an
// unsigned "SendMessage" GET through the HTTP adapter. One request, no retry.
//
// track() reads the event's time and hands the event to the outbox (EventOutbox), where it
// waits for its turn; the document and the request are made then, off the caller's thread.
//
// Immutable once made; track() may be called from any thread and the gateway released as
// soon as it returns. The completion runs on the main queue.
class BrelumEventTrackingAPI : public EventTrackingGateway {
 public:
  [[nodiscard]] static std::shared_ptr<BrelumEventTrackingAPI> make(
      platform::URL baseURL, std::string appId, std::string sdkVersion, EventTrackerDevice device,
      std::shared_ptr<HTTPAdapter> httpAdapter, std::shared_ptr<DateFactory> dateFactory,
      std::shared_ptr<JSONEncoderFactory> jsonEncoderFactory);
  [[nodiscard]] static std::shared_ptr<BrelumEventTrackingAPI> make(
      std::shared_ptr<const EventGatewayProfile> profile, std::shared_ptr<HTTPAdapter> httpAdapter);

  BrelumEventTrackingAPI(std::shared_ptr<const EventGatewayProfile> profile,
                         std::shared_ptr<HTTPAdapter> httpAdapter);

  // The largest message the queue takes, in bytes of the decoded body.
  static constexpr std::size_t kMaximumMessageBytes = 262'144;

  // Any status from 200 to 299 is a success, whatever the body; anything else, or no
  // response, fails with the adapter's HTTPError. An event whose document cannot be
  // written (a session time that is not a finite number) or is larger than the queue
  // takes sends nothing and fails with status -1000 and the reason. The document carries
  // the time of this call.
  void track(const EventTrackerEvent& event, const EventTrackerUser& user,
             Completion completion) override;

  [[nodiscard]] const platform::URL& baseURL() const noexcept { return profile_->baseURL; }
  [[nodiscard]] const std::shared_ptr<HTTPAdapter>& httpAdapter() const noexcept {
    return httpAdapter_;
  }
  [[nodiscard]] const std::shared_ptr<DateFactory>& dateFactory() const noexcept {
    return profile_->dateFactory;
  }
  [[nodiscard]] const std::shared_ptr<JSONEncoderFactory>& jsonEncoderFactory() const noexcept {
    return profile_->jsonEncoderFactory;
  }

  // `baseURL` with its query replaced by "Action=SendMessage&MessageBody=<document>" (scheme,
  // authority, path and fragment kept). The document is escaped so that form decoding, as
  // the queue does it ("+" is a space, "&" and "=" split), gives it back byte for byte.
  [[nodiscard]] static std::optional<platform::URL> messageURL(const platform::URL& baseURL,
                                                               std::string_view document);

 private:
  friend class EventOutbox;

  // Makes the event's document and request and hands it to its adapter; called by the
  // outbox, on its queue, when the event's turn has come.
  static void send(WaitingEvent waiting, const EventOutbox::Place& place);
  [[nodiscard]] static std::expected<std::string, EncodingError> encode(
      const EventGatewayProfile& profile, const EventTrackerEvent& event,
      const EventTrackerUser& user, platform::Date createdAt);

  const std::shared_ptr<const EventGatewayProfile> profile_;
  const std::shared_ptr<HTTPAdapter> httpAdapter_;
};

}  // namespace brelum
