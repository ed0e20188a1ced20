#include "Classes/EventTracker/EventTrackerEvent.h"

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Classes/EventTracker/EventTracker.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingJSONEncoderFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/EventTrackingJSONBuilder.h"
#include "Platform/Foundation/Date.h"

namespace brelum {
namespace {

using Event = EventTracker::Event;
using Dictionary = Event::Properties::Dictionary;
using platform::Date;

Event::Properties::Value text(const char* value) {
  return std::string(value);
}

// The event as the cloud document writes it: the whole document, parsed back in order.
nlohmann::ordered_json document(const Event& event) {
  const auto json = EventTrackingJSONBuilder().build(
      "app-1", "2.0.0", Date(1000), EventTracker::Data::User{"u", "cu", "Ann", "FEMALE"},
      EventTracker::Data::Device{"id", "model", "", "6.1", "iOS", true}, event);
  const auto encoded = BrelumEventTrackingJSONEncoderFactory().make()->encode(json);
  EXPECT_TRUE(encoded.has_value());
  return nlohmann::ordered_json::parse(encoded.value_or("{}"));
}

struct KindCase {
  std::size_t kind;  // position in the catalogue
  Event event;
  std::string_view name;
  Dictionary attributes;          // the data record's attribute map
  std::string_view documentText;  // the document's attributes object, in order
};

void PrintTo(const KindCase& c, std::ostream* os) {
  *os << c.name;
}

class EveryKind : public ::testing::TestWithParam<KindCase> {};

TEST_P(EveryKind, HasItsNameAttributesAndDocumentMembers) {
  const auto& c = GetParam();
  EXPECT_EQ(c.event.value().index(), c.kind);
  EXPECT_EQ(c.event.name(), c.name);
  EXPECT_EQ(c.event.dictionary(), c.attributes);
  const auto written = document(c.event);
  EXPECT_EQ(written["data"]["event"]["event"].dump(), c.documentText);
  EXPECT_EQ(written["data"]["event"]["event_name"], c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, EveryKind,
    ::testing::Values(
        KindCase{0,
                 Event::load_a_screen("s0", Event::Screen::product_details),
                 "Load a screen",
                 {{"screen_name", text("Product Details")}, {"show_id", text("s0")}},
                 R"({"show_id":"s0","screen_name":"Product Details"})"},
        KindCase{
            1,
            Event::something_went_wrong("s1", "boom", "250"),
            "Something went wrong",
            {{"error_message", text("boom")}, {"show_id", text("s1")}, {"latency", text("250")}},
            R"({"show_id":"s1","error_message":"boom","latency":"250"})"},
        KindCase{2, Event::open_app("entry-2"), "Open App", {}, R"({"entrypoint_id":"entry-2"})"},
        KindCase{3,
                 Event::closeSDK("s3"),
                 "Close SDK",
                 {{"show_id", text("s3")}},
                 R"({"show_id":"s3"})"},
        KindCase{
            4,
            Event::display_product_list("s4", "c4", "n4", true),
            "Display product list",
            {{"show_id", text("s4")}, {"product_category_id", text("c4")}, {"full_screen", true}},
            R"({"show_id":"s4","collection_id":"c4","collection_name":"n4","full_screen":true})"},
        KindCase{5,
                 Event::dismiss_product_list("s5", "c5", "n5"),
                 "Dismiss product list",
                 {{"show_id", text("s5")}, {"product_category_id", text("c5")}},
                 R"({"show_id":"s5","collection_id":"c5","collection_name":"n5"})"},
        KindCase{
            6,
            Event::like("s6", "c6", "n6", "60"),
            "Like",
            {{"show_id", text("s6")}, {"product_category_id", text("c6")}, {"latency", text("60")}},
            R"({"show_id":"s6","latency":"60","collection_id":"c6","collection_name":"n6"})"},
        KindCase{
            7,
            Event::share("s6", "c6", "n6", "60"),
            "Share",
            {{"show_id", text("s6")}, {"product_category_id", text("c6")}, {"latency", text("60")}},
            R"({"show_id":"s6","latency":"60","collection_id":"c6","collection_name":"n6"})"},
        KindCase{8,
                 Event::display_chat("s8"),
                 "Display chat",
                 {{"show_id", text("s8")}},
                 R"({"show_id":"s8"})"},
        KindCase{
            9,
            Event::send_chat_message("s9", "hello", "c9", "n9"),
            "Send chat message",
            {{"chat_message", text("hello")}, {"show_id", text("s9")}},
            R"({"show_id":"s9","chat_message":"hello","collection_id":"c9","collection_name":"n9"})"},
        KindCase{10,
                 Event::dismiss_chat("s10"),
                 "Dismiss chat",
                 {{"show_id", text("s10")}},
                 R"({"show_id":"s10"})"},
        KindCase{11,
                 Event::product_category_updated("c11", "n11"),
                 "Product category updated",
                 {{"product_category_id", text("c11")}},
                 R"({"collection_id":"c11","collection_name":"n11"})"},
        KindCase{12,
                 Event::live_screen_tap("s12", false),
                 "Live screen tap",
                 {{"clear_screen", false}},
                 R"({"show_id":"s12","clear_screen":false})"},
        KindCase{13,
                 Event::view_product_item("s13", "cat13"),
                 "View product item",
                 {{"show_id", text("s13")}, {"product_category_id", text("cat13")}},
                 R"({"show_id":"s13","collection_id":"cat13"})"},
        KindCase{14,
                 Event::addToBag("s14", "p14", "pc14"),
                 "Add to bag",
                 {{"show_id", text("s14")}, {"product_category_id", text("p14")}},
                 R"({"show_id":"s14","product_id":"p14","product_id_client":"pc14"})"},
        KindCase{15,
                 Event::product_image_pressed("s14", "p14", "pc14"),
                 "Product image pressed",
                 {{"show_id", text("s14")}, {"product_category_id", text("p14")}},
                 R"({"show_id":"s14","product_id":"p14","product_id_client":"pc14"})"},
        KindCase{
            16,
            Event::session("s16", Date(1.5), Date(4)),
            "Session",
            {{"show_id", text("s16")},
             {"start_session", std::uint64_t{1500}},
             {"end_session", std::uint64_t{4000}},
             {"total_session_time_millisecond", std::uint64_t{2500}}},
            R"({"show_id":"s16","start_session":1500.0,"end_session":4000.0,"total_session_time_millisecond":2500.0})"},
        KindCase{17,
                 Event::keyboard_status("s17", true),
                 "Keyboard status",
                 {{"show_id", text("s17")}, {"is_keyboard_displayed", true}},
                 R"({"show_id":"s17","is_keyboard_displayed":true})"}),
    [](const auto& info) { return "Kind" + std::to_string(info.param.kind); });

// Session times: the record keeps whole milliseconds, the document keeps the fraction.
struct SessionCase {
  std::string_view name;
  double start;
  double end;
  std::uint64_t recordStart, recordEnd, recordTotal;
  std::string_view documentText;
};

void PrintTo(const SessionCase& c, std::ostream* os) {
  *os << c.name;
}

class SessionTimes : public ::testing::TestWithParam<SessionCase> {};

TEST_P(SessionTimes, RecordTruncatesAndDocumentKeepsTheFraction) {
  const auto& c = GetParam();
  const auto event = Event::session("s", Date(c.start), Date(c.end));
  const auto properties = event.properties();
  EXPECT_EQ(properties.start_session, c.recordStart);
  EXPECT_EQ(properties.end_session, c.recordEnd);
  EXPECT_EQ(properties.total_session_time_millisecond, c.recordTotal);
  EXPECT_EQ(document(event)["data"]["event"]["event"].dump(), c.documentText);
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, SessionTimes,
    ::testing::Values(
        SessionCase{
            "Fractions", 1.0078125, 3.5, 1007, 3500, 2493,
            R"({"show_id":"s","start_session":1007.8125,"end_session":3500.0,"total_session_time_millisecond":2492.1875})"},
        // The record's total is unsigned: it must not wrap to about 1.8e19.
        SessionCase{
            "EndBeforeStartTotalsZeroInTheRecord", 4, 1.5, 4000, 1500, 0,
            R"({"show_id":"s","start_session":4000.0,"end_session":1500.0,"total_session_time_millisecond":-2500.0})"},
        // Whole milliseconds are compared: a sub-millisecond inversion is an empty session.
        SessionCase{
            "InversionWithinOneMillisecond", 2.0009, 2.0001, 2000, 2000, 0,
            R"({"show_id":"s","start_session":2000.9,"end_session":2000.1000000000001,"total_session_time_millisecond":-0.7999999999999545})"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EventTrackerEvent, SessionBefore1970RecordsZeroInsteadOfWrapping) {
  const auto properties = Event::session("s", Date(-5), Date(2)).properties();
  EXPECT_EQ(properties.start_session, 0u);
  EXPECT_EQ(properties.end_session, 2000u);
  EXPECT_EQ(properties.total_session_time_millisecond, 2000u);
}

}  // namespace
}  // namespace brelum
