#include "Classes/EventTracker/EventTracker.h"

#include <mutex>
#include <utility>

#include "Platform/Dispatch/FatalError.h"

namespace brelum {
namespace {

// The slots are written when a facade is made and read at every send; a facade made on
// one thread while another sends must not tear the pointers.
struct Slots {
  std::mutex mutex;
  std::shared_ptr<EventTrackingGatewayFactory> gatewayFactory;
  std::shared_ptr<LoggerFactory> loggerFactory;
};

Slots& slots() {
  static Slots instance;
  return instance;
}

platform::URL queueURL() {
  static const auto url = platform::URL::make(EventTracker::kQueueURL);
  return *url;
}

std::shared_ptr<Logger> loggerFromSlot() {
  auto factory = EventTracker::loggerFactory();
  if (!factory) {
    platform::fatalError(
        "EventTracker: no logger factory is set; make a BrelumCore before any tracker");
  }
  auto logger = factory->make();
  if (!logger) platform::fatalError("EventTracker: the logger factory made no logger");
  return logger;
}

}  // namespace

std::shared_ptr<EventTracker> EventTracker::make(std::string appId, std::string sdkVersion,
                                                 Data::User user, bool verbose) {
  return std::shared_ptr<EventTracker>(
      new EventTracker(std::move(appId), std::move(sdkVersion), std::move(user), verbose));
}

EventTracker::EventTracker(std::string appId, std::string sdkVersion, Data::User user, bool verbose)
    : baseURL_(queueURL()),
      appId_(std::move(appId)),
      sdkVersion_(std::move(sdkVersion)),
      user_(std::move(user)),
      verbose_(verbose),
      logger_(loggerFromSlot()) {
}

std::shared_ptr<EventTrackingGatewayFactory> EventTracker::eventTrackingGatewayFactory() {
  auto& s = slots();
  std::lock_guard lock(s.mutex);
  return s.gatewayFactory;
}

void EventTracker::setEventTrackingGatewayFactory(
    std::shared_ptr<EventTrackingGatewayFactory> factory) {
  auto& s = slots();
  std::lock_guard lock(s.mutex);
  // The old factory is released after the lock: its destructor is not ours to run under it.
  std::swap(s.gatewayFactory, factory);
}

std::shared_ptr<LoggerFactory> EventTracker::loggerFactory() {
  auto& s = slots();
  std::lock_guard lock(s.mutex);
  return s.loggerFactory;
}

void EventTracker::setLoggerFactory(std::shared_ptr<LoggerFactory> factory) {
  auto& s = slots();
  std::lock_guard lock(s.mutex);
  std::swap(s.loggerFactory, factory);
}

void EventTracker::send(Event event, Callback callback) {
  const auto factory = eventTrackingGatewayFactory();
  if (!factory) {
    platform::fatalError(
        "EventTracker: no event tracking gateway factory is set; make a BrelumCore before "
        "sending events");
  }
  const auto gateway =
      factory->make(baseURL(), extraURL(), appId(), sdkVersion(), Data::Device::current());
  if (!gateway) platform::fatalError("EventTracker: the gateway factory made no gateway");

  // The name's text lives as long as the program, so the completion need not copy the
  // event for its log line. Every copy a gateway may make of the completion shares one
  // pending callback: an outcome reported twice is handled once.
  struct Pending {
    Callback callback;
    bool handled = false;
  };
  gateway->track(event, user(),
                 [weak = weak_from_this(), name = event.name(),
                  pending = std::make_shared<Pending>(std::move(callback))](
                     EventTrackingGateway::Result result) {
                   if (std::exchange(pending->handled, true)) return;
                   if (!result) {
                     if (auto self = weak.lock()) {
                       std::string line(kFailureMarker);
                       line += name;
                       line += " event]: ";
                       line += result.error().debugDescription();
                       self->logger_->debug(line);
                     }
                   }
                   if (auto done = std::exchange(pending->callback, nullptr)) done();
                 });
}

}  // namespace brelum
