#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "Classes/EventTracker/EventTrackerEvent.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/JSONEncoder.h"
#include "Classes/Utils/RawValue.h"
#include "Platform/Foundation/Date.h"

namespace brelum {

// The JSON document the cloud event queue receives for one event. Written only, through a
// JSONEncoder that converts keys to snake case (member keys below are given before that
// conversion; the wire keys are their snake-case forms):
//
//   {"data": {"app_id", "event": {"sdk_version", "app_identifier", "created_at",
//     "created_at_in_ms", "event_name", "app_id", "mode", "user": {...}, "device": {...},
//     "event": {...the event's attributes...}}}}
//
// Member order is part of the format.
struct EventTrackingJSON {
  enum class CodingKeys {
    data,
    event,
    sdkVersion,
    appIdentifier,
    createdAt,
    createdAtInMs,
    eventName,
    appId,
    mode,
    user,
    device,
  };

  struct UserJSON {
    std::string userId;
    std::string clientUserId;
    std::string name;
    std::string gender;

    // "user_id", "client_user_id", "name", "gender": always all four, "" included.
    [[nodiscard]] JSONEncoder::Result encode(JSONEncoder::KeyedContainer& container) const;
  };

  struct DeviceJSON {
    std::string id;
    std::string model;
    std::string dataNetwork;
    bool isWifi = false;  // fourth here, unlike the tracker's device record
    std::string osVer;
    std::string platform;

    // "id", "model", "data_network", "is_wifi", "os_ver", "platform": always all six.
    [[nodiscard]] JSONEncoder::Result encode(JSONEncoder::KeyedContainer& container) const;
  };

  // The attributes of one event, one kind per kind of EventTracker::Event at the same
  // position. Every kind but the session carries its event's payload unchanged.
  class EventJSON {
   public:
    enum class EventAttributesCodingKeys {
      showId,
      screen,
      error,
      latency,
      productId,
      productIdClient,
      collectionId,
      collectionName,
      fullScreen,
      message,
      clear,
      start,
      end,
      totalSession,
      displayed,
      entryPointId,
    };

    using Event = EventTrackerEvent;
    // Session times in milliseconds since 1970, fraction kept.
    struct Session {
      std::string showId;
      double start;
      double end;
    };
    using Value =
        std::variant<Event::LoadAScreen, Event::SomethingWentWrong, Event::OpenApp, Event::CloseSDK,
                     Event::DisplayProductList, Event::DismissProductList, Event::Like,
                     Event::Share, Event::DisplayChat, Event::SendChatMessage, Event::DismissChat,
                     Event::ProductCategoryUpdated, Event::LiveScreenTap, Event::ViewProductItem,
                     Event::AddToBag, Event::ProductImagePressed, Session, Event::KeyboardStatus>;

    explicit EventJSON(Value value) : value_(std::move(value)) {}

    [[nodiscard]] const Value& value() const noexcept { return value_; }

    // Every member of the kind, in the kind's order (a session adds the total, end minus
    // start, negative when the session ends before it starts). Fails only on a session
    // time that is not finite.
    [[nodiscard]] JSONEncoder::Result encode(JSONEncoder::KeyedContainer& container) const;

   private:
    Value value_;
  };

  std::string sdkVersion;
  std::string appIdentifier;  // the host app's version text
  platform::Date createdAt;
  double createdAtInMs = 0;  // kept for readers; the writer works it out from createdAt
  std::string eventName;
  std::string appId;
  std::string mode;
  UserJSON user;
  DeviceJSON device;
  std::optional<EventJSON> event;  // left out of the text when absent

  // Fails only when createdAt's milliseconds are not finite, or a session time is not.
  [[nodiscard]] JSONEncoder::Result encode(JSONEncoder::KeyedContainer& container) const;
};

[[nodiscard]] std::string_view rawValue(EventTrackingJSON::CodingKeys key);
template <>
[[nodiscard]] std::optional<EventTrackingJSON::CodingKeys>
fromRawValue<EventTrackingJSON::CodingKeys>(std::string_view rawValue);

[[nodiscard]] std::string_view rawValue(
    EventTrackingJSON::EventJSON::EventAttributesCodingKeys key);
template <>
[[nodiscard]] std::optional<EventTrackingJSON::EventJSON::EventAttributesCodingKeys>
fromRawValue<EventTrackingJSON::EventJSON::EventAttributesCodingKeys>(std::string_view rawValue);

}  // namespace brelum
