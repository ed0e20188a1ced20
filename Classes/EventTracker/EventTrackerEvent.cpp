#include "Classes/EventTracker/EventTrackerEvent.h"

#include <array>
#include <string>
#include <type_traits>
#include <utility>

#include "Classes/Utils/TimeInterval.h"

namespace brelum {
namespace {

// Indexed by the kind's number.
constexpr std::array<std::string_view, std::variant_size_v<EventTrackerEvent::Value>> kNames{
    "Load a screen",
    "Something went wrong",
    "Open App",
    "Close SDK",
    "Display product list",
    "Dismiss product list",
    "Like",
    "Share",
    "Display chat",
    "Send chat message",
    "Dismiss chat",
    "Product category updated",
    "Live screen tap",
    "View product item",
    "Add to bag",
    "Product image pressed",
    "Session",
    "Keyboard status",
};

using E = EventTrackerEvent;
using Properties = EventTrackerProperties;

// The attributes each kind contributes; a kind without an overload here contributes
// only its show id.
void fill(Properties& p, const E::LoadAScreen& e) {
  p.screen_name = std::string(rawValue(e.screen));
  p.show_id = e.showId;
}
void fill(Properties& p, const E::SomethingWentWrong& e) {
  p.error_message = e.error;
  p.show_id = e.showId;
  p.latency = e.latency;
}
void fill(Properties&, const E::OpenApp&) {
}
void fill(Properties& p, const E::DisplayProductList& e) {
  p.show_id = e.showId;
  p.product_category_id = e.collectionId;
  p.full_screen = e.fullScreen;
}
void fill(Properties& p, const E::DismissProductList& e) {
  p.show_id = e.showId;
  p.product_category_id = e.collectionId;
}
template <class T>
requires std::is_same_v<T, E::Like> || std::is_same_v<T, E::Share>
void fill(Properties& p, const T& e) {
  p.show_id = e.showId;
  p.product_category_id = e.collectionId;
  p.latency = e.latency;
}
void fill(Properties& p, const E::SendChatMessage& e) {
  p.chat_message = e.message;
  p.show_id = e.showId;
}
void fill(Properties& p, const E::ProductCategoryUpdated& e) {
  p.product_category_id = e.collectionId;
}
// The show id is carried but not reported for this kind.
void fill(Properties& p, const E::LiveScreenTap& e) {
  p.clear_screen = e.clear;
}
void fill(Properties& p, const E::ViewProductItem& e) {
  p.show_id = e.showId;
  p.product_category_id = e.categoryId;
}
template <class T>
requires std::is_same_v<T, E::AddToBag> || std::is_same_v<T, E::ProductImagePressed>
void fill(Properties& p, const T& e) {
  p.show_id = e.showId;
  p.product_category_id = e.productId;
}
void fill(Properties& p, const E::Session& e) {
  const auto start = longValue(e.start.timeIntervalSince1970());
  const auto end = longValue(e.end.timeIntervalSince1970());
  p.show_id = e.showId;
  p.start_session = start;
  p.end_session = end;
  // The field is unsigned: a session ending before it starts would otherwise wrap to a
  // total of about 584 million years.
  p.total_session_time_millisecond = end >= start ? end - start : 0;
}
void fill(Properties& p, const E::KeyboardStatus& e) {
  p.show_id = e.showId;
  p.is_keyboard_displayed = e.displayed;
}
template <class T>
requires std::is_same_v<T, E::CloseSDK> || std::is_same_v<T, E::DisplayChat> ||
    std::is_same_v<T, E::DismissChat>
void fill(Properties& p, const T& e) {
  p.show_id = e.showId;
}

}  // namespace

EventTrackerEvent EventTrackerEvent::load_a_screen(std::string showId, Screen screen) {
  return EventTrackerEvent(LoadAScreen{std::move(showId), screen});
}
EventTrackerEvent EventTrackerEvent::something_went_wrong(std::string showId, std::string error,
                                                          std::string latency) {
  return EventTrackerEvent(
      SomethingWentWrong{std::move(showId), std::move(error), std::move(latency)});
}
EventTrackerEvent EventTrackerEvent::open_app(std::string entryPointId) {
  return EventTrackerEvent(OpenApp{std::move(entryPointId)});
}
EventTrackerEvent EventTrackerEvent::closeSDK(std::string showId) {
  return EventTrackerEvent(CloseSDK{std::move(showId)});
}
EventTrackerEvent EventTrackerEvent::display_product_list(std::string showId,
                                                          std::string collectionId,
                                                          std::string collectionName,
                                                          bool fullScreen) {
  return EventTrackerEvent(DisplayProductList{std::move(showId), std::move(collectionId),
                                              std::move(collectionName), fullScreen});
}
EventTrackerEvent EventTrackerEvent::dismiss_product_list(std::string showId,
                                                          std::string collectionId,
                                                          std::string collectionName) {
  return EventTrackerEvent(
      DismissProductList{std::move(showId), std::move(collectionId), std::move(collectionName)});
}
EventTrackerEvent EventTrackerEvent::like(std::string showId, std::string collectionId,
                                          std::string collectionName, std::string latency) {
  return EventTrackerEvent(Like{std::move(showId), std::move(collectionId),
                                std::move(collectionName), std::move(latency)});
}
EventTrackerEvent EventTrackerEvent::share(std::string showId, std::string collectionId,
                                           std::string collectionName, std::string latency) {
  return EventTrackerEvent(Share{std::move(showId), std::move(collectionId),
                                 std::move(collectionName), std::move(latency)});
}
EventTrackerEvent EventTrackerEvent::display_chat(std::string showId) {
  return EventTrackerEvent(DisplayChat{std::move(showId)});
}
EventTrackerEvent EventTrackerEvent::send_chat_message(std::string showId, std::string message,
                                                       std::string collectionId,
                                                       std::string collectionName) {
  return EventTrackerEvent(SendChatMessage{std::move(showId), std::move(message),
                                           std::move(collectionId), std::move(collectionName)});
}
EventTrackerEvent EventTrackerEvent::dismiss_chat(std::string showId) {
  return EventTrackerEvent(DismissChat{std::move(showId)});
}
EventTrackerEvent EventTrackerEvent::product_category_updated(std::string collectionId,
                                                              std::string collectionName) {
  return EventTrackerEvent(
      ProductCategoryUpdated{std::move(collectionId), std::move(collectionName)});
}
EventTrackerEvent EventTrackerEvent::live_screen_tap(std::string showId, bool clear) {
  return EventTrackerEvent(LiveScreenTap{std::move(showId), clear});
}
EventTrackerEvent EventTrackerEvent::view_product_item(std::string showId, std::string categoryId) {
  return EventTrackerEvent(ViewProductItem{std::move(showId), std::move(categoryId)});
}
EventTrackerEvent EventTrackerEvent::addToBag(std::string showId, std::string productId,
                                              std::string productIdClient) {
  return EventTrackerEvent(
      AddToBag{std::move(showId), std::move(productId), std::move(productIdClient)});
}
EventTrackerEvent EventTrackerEvent::product_image_pressed(std::string showId,
                                                           std::string productId,
                                                           std::string productIdClient) {
  return EventTrackerEvent(
      ProductImagePressed{std::move(showId), std::move(productId), std::move(productIdClient)});
}
EventTrackerEvent EventTrackerEvent::session(std::string showId, platform::Date start,
                                             platform::Date end) {
  return EventTrackerEvent(Session{std::move(showId), start, end});
}
EventTrackerEvent EventTrackerEvent::keyboard_status(std::string showId, bool displayed) {
  return EventTrackerEvent(KeyboardStatus{std::move(showId), displayed});
}

std::string_view EventTrackerEvent::name() const noexcept {
  return kNames[value_.index()];
}

EventTrackerProperties EventTrackerEvent::properties() const {
  Properties result;
  std::visit([&](const auto& payload) { fill(result, payload); }, value_);
  return result;
}

EventTrackerProperties::Dictionary EventTrackerEvent::dictionary() const {
  return properties().dictionary();
}

}  // namespace brelum
