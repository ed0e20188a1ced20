#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "Classes/EventTracker/EventTrackerProperties.h"
#include "Classes/EventTracker/EventTrackerScreen.h"
#include "Platform/Foundation/Date.h"

namespace brelum {

// One analytics event a host reports (EventTracker::Event): a closed set of 18 kinds, each
// with its payload. The host makes one through the factory named after its kind, e.g.
// `EventTracker::Event::session("show-1", start, end)`; the names keep the event
// vocabulary's mix of spellings (`closeSDK`, `addToBag`, `load_a_screen`). A plain value.
class EventTrackerEvent {
 public:
  using Screen = EventTrackerScreen;
  using Properties = EventTrackerProperties;

  struct LoadAScreen {
    std::string showId;
    Screen screen;
  };
  struct SomethingWentWrong {
    std::string showId;
    std::string error;
    std::string latency;  // text as the host gives it, not a number
  };
  struct OpenApp {
    std::string entryPointId;
  };
  struct CloseSDK {
    std::string showId;
  };
  struct DisplayProductList {
    std::string showId;
    std::string collectionId;
    std::string collectionName;
    bool fullScreen;
  };
  struct DismissProductList {
    std::string showId;
    std::string collectionId;
    std::string collectionName;
  };
  struct Like {
    std::string showId;
    std::string collectionId;
    std::string collectionName;
    std::string latency;
  };
  struct Share {
    std::string showId;
    std::string collectionId;
    std::string collectionName;
    std::string latency;
  };
  struct DisplayChat {
    std::string showId;
  };
  struct SendChatMessage {
    std::string showId;
    std::string message;
    std::string collectionId;
    std::string collectionName;
  };
  struct DismissChat {
    std::string showId;
  };
  struct ProductCategoryUpdated {
    std::string collectionId;
    std::string collectionName;
  };
  struct LiveScreenTap {
    std::string showId;
    bool clear;
  };
  struct ViewProductItem {
    std::string showId;
    std::string categoryId;
  };
  struct AddToBag {
    std::string showId;
    std::string productId;
    std::string productIdClient;
  };
  struct ProductImagePressed {
    std::string showId;
    std::string productId;
    std::string productIdClient;
  };
  struct Session {
    std::string showId;
    platform::Date start;
    platform::Date end;
  };
  struct KeyboardStatus {
    std::string showId;
    bool displayed;
  };

  // The kinds in their fixed order; `value().index()` is the kind's number.
  using Value = std::variant<LoadAScreen, SomethingWentWrong, OpenApp, CloseSDK, DisplayProductList,
                             DismissProductList, Like, Share, DisplayChat, SendChatMessage,
                             DismissChat, ProductCategoryUpdated, LiveScreenTap, ViewProductItem,
                             AddToBag, ProductImagePressed, Session, KeyboardStatus>;

  [[nodiscard]] static EventTrackerEvent load_a_screen(std::string showId, Screen screen);
  [[nodiscard]] static EventTrackerEvent something_went_wrong(std::string showId, std::string error,
                                                              std::string latency);
  [[nodiscard]] static EventTrackerEvent open_app(std::string entryPointId);
  [[nodiscard]] static EventTrackerEvent closeSDK(std::string showId);
  [[nodiscard]] static EventTrackerEvent display_product_list(std::string showId,
                                                              std::string collectionId,
                                                              std::string collectionName,
                                                              bool fullScreen);
  [[nodiscard]] static EventTrackerEvent dismiss_product_list(std::string showId,
                                                              std::string collectionId,
                                                              std::string collectionName);
  [[nodiscard]] static EventTrackerEvent like(std::string showId, std::string collectionId,
                                              std::string collectionName, std::string latency);
  [[nodiscard]] static EventTrackerEvent share(std::string showId, std::string collectionId,
                                               std::string collectionName, std::string latency);
  [[nodiscard]] static EventTrackerEvent display_chat(std::string showId);
  [[nodiscard]] static EventTrackerEvent send_chat_message(std::string showId, std::string message,
                                                           std::string collectionId,
                                                           std::string collectionName);
  [[nodiscard]] static EventTrackerEvent dismiss_chat(std::string showId);
  [[nodiscard]] static EventTrackerEvent product_category_updated(std::string collectionId,
                                                                  std::string collectionName);
  [[nodiscard]] static EventTrackerEvent live_screen_tap(std::string showId, bool clear);
  [[nodiscard]] static EventTrackerEvent view_product_item(std::string showId,
                                                           std::string categoryId);
  [[nodiscard]] static EventTrackerEvent addToBag(std::string showId, std::string productId,
                                                  std::string productIdClient);
  [[nodiscard]] static EventTrackerEvent product_image_pressed(std::string showId,
                                                               std::string productId,
                                                               std::string productIdClient);
  [[nodiscard]] static EventTrackerEvent session(std::string showId, platform::Date start,
                                                 platform::Date end);
  [[nodiscard]] static EventTrackerEvent keyboard_status(std::string showId, bool displayed);

  [[nodiscard]] const Value& value() const noexcept { return value_; }

  // The display name ("Load a screen", "Add to bag", ...); the text lives as long as the
  // program.
  [[nodiscard]] std::string_view name() const noexcept;

  // The attribute record of the event data record. Not every payload value reaches it
  // (collection names never do, `open_app` gives an empty record); session times are whole
  // milliseconds, and a session that ends before it starts has a total of 0.
  [[nodiscard]] Properties properties() const;
  // properties().dictionary(), computed anew on each call.
  [[nodiscard]] Properties::Dictionary dictionary() const;

 private:
  explicit EventTrackerEvent(Value value) : value_(std::move(value)) {}

  Value value_;
};

}  // namespace brelum
