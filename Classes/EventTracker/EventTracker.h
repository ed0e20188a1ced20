#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Classes/EventTracker/EventTrackerData.h"
#include "Classes/EventTracker/EventTrackerEvent.h"
#include "Classes/EventTracker/Gateway/EventTrackingGatewayFactory.h"
#include "Classes/Log/Debug/Logger.h"
#include "Classes/Log/Debug/LoggerFactory.h"
#include "Platform/Foundation/URL.h"

namespace brelum {

// The host-facing entry of event tracking: the host builds an Event and sends it. Every
// event gets a new gateway from the process-wide gateway factory and one delivery attempt,
// with no queue, batching or retry. A failed delivery becomes one line in the tracker's
// logger; the host's callback runs after success and failure alike.
//
// Its value types are defined beside it and named here as nested types: EventTracker::Event
// (with Event::Screen and Event::Properties) and EventTracker::Data (with Data::User and
// Data::Device).
//
// Threads: a tracker is used from one thread at a time (its fields are not guarded); the
// host normally uses it from the main thread. Outcomes are handled on the main queue, where
// the gateways deliver. A delivery in flight is not cancelled when the tracker goes away;
// its failure is then not logged, but the callback still runs.
class EventTracker : public std::enable_shared_from_this<EventTracker> {
 public:
  using Event = EventTrackerEvent;
  using Data = EventTrackerData;
  using Callback = std::function<void()>;

  // The queue every event goes to: the cloud queue "client-event-tracking".
  static constexpr std::string_view kQueueURL =
      "https://sqs.us-east-1.amazonaws.com/000000000000/client-event-tracking";

  // The log line of a failed delivery starts with this marker and the event's name.
  static constexpr std::string_view kFailureMarker = "\U0001F534 [";

  // Takes its logger from loggerFactory(), which must be set (a BrelumCore sets it);
  // stops the process otherwise.
  [[nodiscard]] static std::shared_ptr<EventTracker> make(std::string appId, std::string sdkVersion,
                                                          Data::User user, bool verbose);

  // The two process-wide slots a BrelumCore fills when it is made, each replacing what was
  // there: the gateway factory serves every tracker at its every send from then on; the
  // logger factory is read once by each tracker as it is made. Empty at process start.
  [[nodiscard]] static std::shared_ptr<EventTrackingGatewayFactory> eventTrackingGatewayFactory();
  static void setEventTrackingGatewayFactory(std::shared_ptr<EventTrackingGatewayFactory> factory);
  [[nodiscard]] static std::shared_ptr<LoggerFactory> loggerFactory();
  static void setLoggerFactory(std::shared_ptr<LoggerFactory> factory);

  virtual ~EventTracker() = default;
  EventTracker(const EventTracker&) = delete;
  EventTracker& operator=(const EventTracker&) = delete;

  [[nodiscard]] virtual const platform::URL& baseURL() const { return baseURL_; }
  virtual void setBaseURL(platform::URL url) { baseURL_ = std::move(url); }
  // The customer's tracking URL, once the mobile settings named one. Handed to the gateway
  // factory with every event; the cloud gateway does not use it.
  [[nodiscard]] virtual const std::optional<platform::URL>& extraURL() const { return extraURL_; }
  virtual void setExtraURL(std::optional<platform::URL> url) { extraURL_ = std::move(url); }
  [[nodiscard]] virtual const std::string& appId() const { return appId_; }
  virtual void setAppId(std::string appId) { appId_ = std::move(appId); }
  [[nodiscard]] virtual const std::string& sdkVersion() const { return sdkVersion_; }
  virtual void setSdkVersion(std::string sdkVersion) { sdkVersion_ = std::move(sdkVersion); }
  // Read at each send: a change reaches later events, not deliveries already started.
  [[nodiscard]] virtual const Data::User& user() const { return user_; }
  virtual void setUser(Data::User user) { user_ = std::move(user); }
  // Kept for hosts that read it; nothing in the tracker depends on it.
  [[nodiscard]] virtual bool verbose() const { return verbose_; }
  virtual void setVerbose(bool verbose) { verbose_ = verbose; }

  // Hands `event` to a new gateway and returns at once. `callback`, when given, runs once
  // on the main queue when the delivery has ended, however it ended. The gateway factory
  // slot must be set; the process stops otherwise.
  virtual void send(Event event, Callback callback = nullptr);

 protected:
  EventTracker(std::string appId, std::string sdkVersion, Data::User user, bool verbose);

 private:
  platform::URL baseURL_;
  std::optional<platform::URL> extraURL_;
  std::string appId_;
  std::string sdkVersion_;
  Data::User user_;
  bool verbose_;
  const std::shared_ptr<Logger> logger_;
};

}  // namespace brelum
