#include "Classes/EventTracker/Gateway/BrelumAPI/EventTrackingJSON.h"

#include <array>
#include <type_traits>
#include <utility>

namespace brelum {
namespace {

using Keys = EventTrackingJSON::CodingKeys;
using AttributeKeys = EventTrackingJSON::EventJSON::EventAttributesCodingKeys;
using Event = EventTrackerEvent;
using Container = JSONEncoder::KeyedContainer;

constexpr std::array<std::pair<Keys, std::string_view>, 11> kKeys{{
    {Keys::data, "data"},
    {Keys::event, "event"},
    {Keys::sdkVersion, "sdk_version"},
    {Keys::appIdentifier, "app_identifier"},
    {Keys::createdAt, "created_at"},
    {Keys::createdAtInMs, "created_at_in_ms"},
    {Keys::eventName, "event_name"},
    {Keys::appId, "app_id"},
    {Keys::mode, "mode"},
    {Keys::user, "user"},
    {Keys::device, "device"},
}};

// Some raw values are camel case; the encoder's snake-case strategy makes the wire keys.
constexpr std::array<std::pair<AttributeKeys, std::string_view>, 16> kAttributeKeys{{
    {AttributeKeys::showId, "showId"},
    {AttributeKeys::screen, "screen_name"},
    {AttributeKeys::error, "error_message"},
    {AttributeKeys::latency, "latency"},
    {AttributeKeys::productId, "productId"},
    {AttributeKeys::productIdClient, "productIdClient"},
    {AttributeKeys::collectionId, "collectionId"},
    {AttributeKeys::collectionName, "collectionName"},
    {AttributeKeys::fullScreen, "fullScreen"},
    {AttributeKeys::message, "chat_message"},
    {AttributeKeys::clear, "clear_screen"},
    {AttributeKeys::start, "start_session"},
    {AttributeKeys::end, "end_session"},
    {AttributeKeys::totalSession, "total_session_time_millisecond"},
    {AttributeKeys::displayed, "is_keyboard_displayed"},
    {AttributeKeys::entryPointId, "entrypoint_id"},
}};

template <class Key, std::size_t N>
std::string_view lookUp(const std::array<std::pair<Key, std::string_view>, N>& table, Key key) {
  for (const auto& [candidate, text] : table) {
    if (candidate == key) return text;
  }
  return {};
}

template <class Key, std::size_t N>
std::optional<Key> find(const std::array<std::pair<Key, std::string_view>, N>& table,
                        std::string_view text) {
  for (const auto& [key, candidate] : table) {
    if (candidate == text) return key;
  }
  return std::nullopt;
}

// The attributes of each kind, in the order they are written.
void write(Container& c, const Event::LoadAScreen& e) {
  c.encode(AttributeKeys::showId, e.showId);
  c.encode(AttributeKeys::screen, rawValue(e.screen));
}
void write(Container& c, const Event::SomethingWentWrong& e) {
  c.encode(AttributeKeys::showId, e.showId);
  c.encode(AttributeKeys::error, e.error);
  c.encode(AttributeKeys::latency, e.latency);
}
void write(Container& c, const Event::OpenApp& e) {
  c.encode(AttributeKeys::entryPointId, e.entryPointId);
}
void write(Container& c, const Event::DisplayProductList& e) {
  c.encode(AttributeKeys::showId, e.showId);
  c.encode(AttributeKeys::collectionId, e.collectionId);
  c.encode(AttributeKeys::collectionName, e.collectionName);
  c.encode(AttributeKeys::fullScreen, e.fullScreen);
}
void write(Container& c, const Event::DismissProductList& e) {
  c.encode(AttributeKeys::showId, e.showId);
  c.encode(AttributeKeys::collectionId, e.collectionId);
  c.encode(AttributeKeys::collectionName, e.collectionName);
}
// The latency comes second here, although the payload holds it last.
template <class T>
requires std::is_same_v<T, Event::Like> || std::is_same_v<T, Event::Share>
void write(Container& c, const T& e) {
  c.encode(AttributeKeys::showId, e.showId);
  c.encode(AttributeKeys::latency, e.latency);
  c.encode(AttributeKeys::collectionId, e.collectionId);
  c.encode(AttributeKeys::collectionName, e.collectionName);
}
void write(Container& c, const Event::SendChatMessage& e) {
  c.encode(AttributeKeys::showId, e.showId);
  c.encode(AttributeKeys::message, e.message);
  c.encode(AttributeKeys::collectionId, e.collectionId);
  c.encode(AttributeKeys::collectionName, e.collectionName);
}
void write(Container& c, const Event::ProductCategoryUpdated& e) {
  c.encode(AttributeKeys::collectionId, e.collectionId);
  c.encode(AttributeKeys::collectionName, e.collectionName);
}
void write(Container& c, const Event::LiveScreenTap& e) {
  c.encode(AttributeKeys::showId, e.showId);
  c.encode(AttributeKeys::clear, e.clear);
}
// The category id travels under the collection key.
void write(Container& c, const Event::ViewProductItem& e) {
  c.encode(AttributeKeys::showId, e.showId);
  c.encode(AttributeKeys::collectionId, e.categoryId);
}
template <class T>
requires std::is_same_v<T, Event::AddToBag> || std::is_same_v<T, Event::ProductImagePressed>
void write(Container& c, const T& e) {
  c.encode(AttributeKeys::showId, e.showId);
  c.encode(AttributeKeys::productId, e.productId);
  c.encode(AttributeKeys::productIdClient, e.productIdClient);
}
void write(Container& c, const EventTrackingJSON::EventJSON::Session& e) {
  c.encode(AttributeKeys::showId, e.showId);
  c.encode(AttributeKeys::start, e.start);
  c.encode(AttributeKeys::end, e.end);
  c.encode(AttributeKeys::totalSession, e.end - e.start);
}
void write(Container& c, const Event::KeyboardStatus& e) {
  c.encode(AttributeKeys::showId, e.showId);
  c.encode(AttributeKeys::displayed, e.displayed);
}
template <class T>
requires std::is_same_v<T, Event::CloseSDK> || std::is_same_v<T, Event::DisplayChat> ||
    std::is_same_v<T, Event::DismissChat>
void write(Container& c, const T& e) {
  c.encode(AttributeKeys::showId, e.showId);
}

}  // namespace

std::string_view rawValue(EventTrackingJSON::CodingKeys key) {
  return lookUp(kKeys, key);
}

template <>
std::optional<EventTrackingJSON::CodingKeys> fromRawValue<EventTrackingJSON::CodingKeys>(
    std::string_view rawValue) {
  return find(kKeys, rawValue);
}

std::string_view rawValue(AttributeKeys key) {
  return lookUp(kAttributeKeys, key);
}

template <>
std::optional<AttributeKeys> fromRawValue<AttributeKeys>(std::string_view rawValue) {
  return find(kAttributeKeys, rawValue);
}

JSONEncoder::Result EventTrackingJSON::UserJSON::encode(Container& container) const {
  container.encode("userId", userId);
  container.encode("clientUserId", clientUserId);
  container.encode("name", name);
  container.encode("gender", gender);
  return container.result();
}

JSONEncoder::Result EventTrackingJSON::DeviceJSON::encode(Container& container) const {
  container.encode("id", id);
  container.encode("model", model);
  container.encode("dataNetwork", dataNetwork);
  container.encode("isWifi", isWifi);
  container.encode("osVer", osVer);
  container.encode("platform", platform);
  return container.result();
}

JSONEncoder::Result EventTrackingJSON::EventJSON::encode(Container& container) const {
  std::visit([&container](const auto& payload) { write(container, payload); }, value_);
  return container.result();
}

JSONEncoder::Result EventTrackingJSON::encode(Container& container) const {
  container.nestedContainer(Keys::data, [this](Container& data) {
    data.encode(Keys::appId, appId);
    data.nestedContainer(Keys::event, [this](Container& body) {
      body.encode(Keys::sdkVersion, sdkVersion);
      body.encode(Keys::appIdentifier, appIdentifier);
      body.encode(Keys::createdAt, createdAt);
      body.encode(Keys::createdAtInMs, createdAt.timeIntervalSince1970() * 1000.0);
      body.encode(Keys::eventName, eventName);
      body.encode(Keys::appId, appId);
      body.encode(Keys::mode, mode);
      body.encode(Keys::user, user);
      body.encode(Keys::device, device);
      if (event) body.encode(Keys::event, *event);
    });
  });
  return container.result();
}

}  // namespace brelum
