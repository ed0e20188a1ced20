// The event catalogue: each kind's display name, its attribute map in the data record, and
// its attributes object in the cloud document (members in order).
#include "Classes/EventTracker/EventTrackerEvent.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Classes/EventTracker/EventTracker.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingJSONEncoderFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/EventTrackingJSONBuilder.h"

namespace brelum {
namespace {

using Event = EventTracker::Event;
using platform::Date;

// The attributes object of the event's cloud document.
std::string documentAttributes(const Event& event) {
  const auto json = EventTrackingJSONBuilder().build(
      "app-1", "2.0.0", Date(1000), EventTracker::Data::User{"u", "cu", "Ann", "FEMALE"},
      EventTracker::Data::Device{"id", "model", "", "6.1", "iOS", true}, event);
  const auto encoded = BrelumEventTrackingJSONEncoderFactory().make()->encode(json);
  EXPECT_TRUE(encoded.has_value());
  const auto parsed = nlohmann::ordered_json::parse(encoded.value_or("{}"));
  EXPECT_EQ(parsed["data"]["event"]["event_name"], event.name());
  return parsed["data"]["event"]["event"].dump();
}

struct KindCase {
  Event event;
  std::string_view name;
  std::string_view record;    // the data record's attribute map, keys sorted
  std::string_view document;  // the cloud document's attributes, in order
};

// Session times: the record keeps whole milliseconds and never a negative total (the field
// is unsigned and would wrap); the document keeps the fraction and the sign.
const KindCase kCatalogue[] = {
    {Event::load_a_screen("s", Event::Screen::product_details), "Load a screen",
     R"({"screen_name":"Product Details","show_id":"s"})",
     R"({"show_id":"s","screen_name":"Product Details"})"},
    {Event::something_went_wrong("s", "boom", "2"), "Something went wrong",
     R"({"error_message":"boom","latency":"2","show_id":"s"})",
     R"({"show_id":"s","error_message":"boom","latency":"2"})"},
    {Event::open_app("e"), "Open App", "{}", R"({"entrypoint_id":"e"})"},
    {Event::closeSDK("s"), "Close SDK", R"({"show_id":"s"})", R"({"show_id":"s"})"},
    {Event::display_product_list("s", "c", "n", true), "Display product list",
     R"({"full_screen":true,"product_category_id":"c","show_id":"s"})",
     R"({"show_id":"s","collection_id":"c","collection_name":"n","full_screen":true})"},
    {Event::dismiss_product_list("s", "c", "n"), "Dismiss product list",
     R"({"product_category_id":"c","show_id":"s"})",
     R"({"show_id":"s","collection_id":"c","collection_name":"n"})"},
    {Event::like("s", "c", "n", "6"), "Like",
     R"({"latency":"6","product_category_id":"c","show_id":"s"})",
     R"({"show_id":"s","latency":"6","collection_id":"c","collection_name":"n"})"},
    {Event::share("s", "c", "n", "7"), "Share",
     R"({"latency":"7","product_category_id":"c","show_id":"s"})",
     R"({"show_id":"s","latency":"7","collection_id":"c","collection_name":"n"})"},
    {Event::display_chat("s"), "Display chat", R"({"show_id":"s"})", R"({"show_id":"s"})"},
    {Event::send_chat_message("s", "hi", "c", "n"), "Send chat message",
     R"({"chat_message":"hi","show_id":"s"})",
     R"({"show_id":"s","chat_message":"hi","collection_id":"c","collection_name":"n"})"},
    {Event::dismiss_chat("s"), "Dismiss chat", R"({"show_id":"s"})", R"({"show_id":"s"})"},
    {Event::product_category_updated("c", "n"), "Product category updated",
     R"({"product_category_id":"c"})", R"({"collection_id":"c","collection_name":"n"})"},
    {Event::live_screen_tap("s", false), "Live screen tap", R"({"clear_screen":false})",
     R"({"show_id":"s","clear_screen":false})"},
    {Event::view_product_item("s", "k"), "View product item",
     R"({"product_category_id":"k","show_id":"s"})", R"({"show_id":"s","collection_id":"k"})"},
    {Event::addToBag("s", "p", "pc"), "Add to bag", R"({"product_category_id":"p","show_id":"s"})",
     R"({"show_id":"s","product_id":"p","product_id_client":"pc"})"},
    {Event::product_image_pressed("s", "p", "pc"), "Product image pressed",
     R"({"product_category_id":"p","show_id":"s"})",
     R"({"show_id":"s","product_id":"p","product_id_client":"pc"})"},
    {Event::session("s", Date(1.0078125), Date(3.5)), "Session",
     R"({"end_session":3500,"show_id":"s","start_session":1007,"total_session_time_millisecond":2493})",
     R"({"show_id":"s","start_session":1007.8125,"end_session":3500.0,"total_session_time_millisecond":2492.1875})"},
    {Event::keyboard_status("s", true), "Keyboard status",
     R"({"is_keyboard_displayed":true,"show_id":"s"})",
     R"({"show_id":"s","is_keyboard_displayed":true})"},
    {Event::session("s", Date(4), Date(1.5)), "Session",
     R"({"end_session":1500,"show_id":"s","start_session":4000,"total_session_time_millisecond":0})",
     R"({"show_id":"s","start_session":4000.0,"end_session":1500.0,"total_session_time_millisecond":-2500.0})"},
    // Whole milliseconds are compared: a sub-millisecond inversion is an empty session.
    {Event::session("s", Date(2.0009), Date(2.0001)), "Session",
     R"({"end_session":2000,"show_id":"s","start_session":2000,"total_session_time_millisecond":0})",
     R"({"show_id":"s","start_session":2000.9,"end_session":2000.1000000000001,"total_session_time_millisecond":-0.7999999999999545})"},
    // Before 1970 the record's start is 0 rather than a wrapped count.
    {Event::session("s", Date(-5), Date(2)), "Session",
     R"({"end_session":2000,"show_id":"s","start_session":0,"total_session_time_millisecond":2000})",
     R"({"show_id":"s","start_session":-5000.0,"end_session":2000.0,"total_session_time_millisecond":7000.0})"},
};

TEST(EventTrackerEvent, EveryKindHasItsNameRecordAndDocumentAttributes) {
  for (std::size_t i = 0; i < std::size(kCatalogue); ++i) {
    const auto& [event, name, record, document] = kCatalogue[i];
    SCOPED_TRACE(name);
    // The kinds keep their fixed order.
    EXPECT_EQ(event.value().index(), i < 18 ? i : 16u);
    EXPECT_EQ(event.name(), name);
    EXPECT_EQ(EventTrackerProperties::json(event.dictionary()).dump(), record);
    EXPECT_EQ(documentAttributes(event), document);
  }
}

TEST(EventTrackerScreen, RawValuesAreTheWireTextAndNothingElseDecodes) {
  using S = EventTrackerScreen;
  std::string names;
  for (auto screen : {S::loading, S::standby, S::live, S::product_details, S::error}) {
    names += std::string(rawValue(screen)) + ",";
    EXPECT_EQ(decodeScreen(nlohmann::json(rawValue(screen))), screen);
  }
  EXPECT_EQ(names, "Loading,Standby,Live,Product Details,Error,");
  EXPECT_EQ(decodeScreen(nlohmann::json("live")).error().kind, DecodingError::Kind::dataCorrupted);
  EXPECT_EQ(decodeScreen(nlohmann::json(3)).error().kind, DecodingError::Kind::typeMismatch);
}

}  // namespace
}  // namespace brelum
