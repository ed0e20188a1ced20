// The records an event is stamped into: the data record's creation fields, the device, and
// reading the attribute and user records back from JSON.
#include "Classes/EventTracker/EventTrackerData.h"

#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Classes/EventTracker/EventTracker.h"
#include "Platform/Foundation/DateFormatter.h"
#include "Platform/Foundation/TimeZone.h"

namespace brelum {
namespace {

using Data = EventTracker::Data;

// Both creation fields come from one reading of the clock, in a zone east and one west of UTC.
TEST(EventTrackerData, CreationTextAndMillisecondsShowTheSameInstant) {
  for (const auto& [zone, offsets] : {std::pair{"Asia/Kolkata", std::set<std::string>{"+0530"}},
                                      {"America/New_York", {"-0500", "-0400"}}}) {
    platform::TimeZone::setCurrent(platform::TimeZone::fromIdentifier(zone));
    const Data data("app-1", "3.1.0", EventTracker::Event::closeSDK("s"), {});
    ASSERT_EQ(data.created_at.size(), 24u) << data.created_at;
    EXPECT_TRUE(offsets.contains(data.created_at.substr(19))) << data.created_at;
    const auto parsed = Data::dateFormatter().date(data.created_at);
    ASSERT_TRUE(parsed.has_value()) << data.created_at;
    EXPECT_EQ(static_cast<std::uint64_t>(parsed->timeIntervalSince1970()),
              data.created_at_in_ms / 1000)
        << zone << " " << data.created_at;
  }
  platform::TimeZone::setCurrent(std::nullopt);
}

TEST(EventTrackerDevice, CurrentDescribesThisMachineOnceForEveryThread) {
  std::vector<const Data::Device*> seen(8);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = &Data::Device::current(); });
  for (auto& thread : threads) thread.join();
  for (const auto* device : seen) EXPECT_EQ(device, seen.front());
  EXPECT_EQ(seen.front()->platform, "iOS");
}

TEST(EventTrackerProperties, EveryFieldRoundTripsThroughJSON) {
  const EventTrackerProperties full{"Live", "boom", "hi",  "s1",  "c1",  true,
                                    "12",   false,  1500u, 4000u, 2500u, true};
  const auto decoded = EventTrackerProperties::decode(nlohmann::json::parse(full.encode().dump()));
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(*decoded, full);
  EXPECT_EQ(decoded->dictionary().size(), 12u);
}

// The decoded record encoded again, or how decoding refused the document and at which key.
template <class Record>
std::string decoded(std::string_view document) {
  constexpr const char* kKinds[] = {"keyNotFound", "valueNotFound", "typeMismatch",
                                    "dataCorrupted"};
  const auto record = Record::decode(nlohmann::json::parse(document));
  if (record) return record->encode().dump();
  return kKinds[static_cast<int>(record.error().kind)] + (" " + record.error().key);
}

// Attributes: a missing key or null is absent and other keys are ignored; a count must be a
// whole number from 0 to 2^64-1. A user needs all four fields as text.
TEST(EventTrackerRecords, DecodingTakesOrRefusesTheDocument) {
  using Properties = EventTrackerProperties;
  using User = EventTrackerUser;
  const std::pair<std::string, std::string_view> cases[] = {
      {decoded<Properties>(R"({"show_id":null,"colour":"red","latency":"5"})"),
       R"({"latency":"5"})"},
      {decoded<Properties>(R"({"end_session":2.0})"), R"({"end_session":2})"},
      {decoded<Properties>(R"({"full_screen":"yes"})"), "typeMismatch full_screen"},
      {decoded<Properties>(R"({"start_session":-1})"), "dataCorrupted start_session"},
      {decoded<Properties>(R"({"end_session":1e30})"), "dataCorrupted end_session"},
      {decoded<Properties>(R"({"total_session_time_millisecond":1.5})"),
       "dataCorrupted total_session_time_millisecond"},
      {decoded<User>(R"({"gender":"M","name":"B","client_user_id":"c","user_id":"u","age":4})"),
       R"({"user_id":"u","client_user_id":"c","name":"B","gender":"M"})"},
      {decoded<User>(R"({"user_id":"u","client_user_id":"c","name":"n"})"), "keyNotFound gender"},
      {decoded<User>(R"({"user_id":1,"client_user_id":"c","name":"n","gender":"g"})"),
       "typeMismatch user_id"},
      {decoded<User>(R"({"user_id":"u","client_user_id":"c","name":null,"gender":"g"})"),
       "valueNotFound name"},
  };
  for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
}

}  // namespace
}  // namespace brelum
