#include "Classes/EventTracker/EventTrackerData.h"

#include <cmath>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Classes/EventTracker/EventTracker.h"
#include "Platform/Device/Device.h"
#include "Platform/Foundation/DateFormatter.h"
#include "Platform/Foundation/TimeZone.h"

namespace brelum {
namespace {

using Data = EventTracker::Data;
using Event = EventTracker::Event;

const Data::User kUser{"", "host-1", "Ann", "FEMALE"};

class EventTrackerDataTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::TimeZone::setCurrent(std::nullopt); }
};

TEST_F(EventTrackerDataTest, OpenAppRecordHasTenEntriesAndAnEmptyEvent) {
  const Data data("app-1", "3.1.0", Event::open_app("entry"), kUser);
  const auto dictionary = data.dictionary();
  std::set<std::string> keys;
  for (const auto& [key, value] : dictionary.items()) keys.insert(key);
  EXPECT_EQ(keys, (std::set<std::string>{"sdk_version", "app_identifier", "created_at",
                                         "created_at_in_ms", "event_name", "user", "device",
                                         "event", "mode", "app_id"}));
  EXPECT_EQ(dictionary["event"], nlohmann::json::object());
  EXPECT_TRUE(dictionary["created_at_in_ms"].is_number_unsigned());
  EXPECT_EQ(dictionary["event_name"], "Open App");
  EXPECT_EQ(dictionary["mode"], "COMMERCE");
  EXPECT_EQ(dictionary["app_id"], "app-1");
  EXPECT_EQ(dictionary["sdk_version"], "3.1.0");
  EXPECT_EQ(dictionary["app_identifier"], Data::Device::applicationVersion());
  EXPECT_EQ(dictionary["user"], nlohmann::json::parse(kUser.encode().dump()));
  EXPECT_EQ(dictionary["device"], Data::Device::current().dictionary());
}

TEST_F(EventTrackerDataTest, RecordCarriesTheEventAttributesAndChangedFields) {
  Data data("app-1", "3.1.0", Event::keyboard_status("s1", true), kUser);
  data.mode = "TEST";
  data.user.name = "Bea";
  const auto dictionary = data.dictionary();
  EXPECT_EQ(dictionary["mode"], "TEST");
  EXPECT_EQ(dictionary["user"]["name"], "Bea");
  EXPECT_EQ(dictionary["event"],
            (nlohmann::json{{"show_id", "s1"}, {"is_keyboard_displayed", true}}));
}

// Both creation fields come from one reading of the clock, in a zone east and one west of UTC.
TEST_F(EventTrackerDataTest, CreationTextAndMillisecondsShowTheSameInstant) {
  struct ZoneCase {
    const char* zone;
    std::set<std::string> offsets;  // standard and daylight time
  };
  for (const auto& [zone, offsets] :
       {ZoneCase{"Asia/Kolkata", {"+0530"}}, ZoneCase{"America/New_York", {"-0500", "-0400"}}}) {
    platform::TimeZone::setCurrent(platform::TimeZone::fromIdentifier(zone));
    const Data data("app-1", "3.1.0", Event::closeSDK("s"), kUser);
    ASSERT_EQ(data.created_at.size(), 24u) << data.created_at;
    EXPECT_TRUE(offsets.contains(data.created_at.substr(19))) << data.created_at;
    const auto parsed = Data::dateFormatter().date(data.created_at);
    ASSERT_TRUE(parsed.has_value()) << data.created_at;
    EXPECT_EQ(static_cast<std::uint64_t>(parsed->timeIntervalSince1970()),
              data.created_at_in_ms / 1000)
        << zone << " " << data.created_at;
  }
}

TEST(EventTrackerDevice, CurrentDescribesThisMachineOnceForEveryThread) {
  std::vector<const Data::Device*> seen(8);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = &Data::Device::current(); });
  for (auto& thread : threads) thread.join();
  for (const auto* device : seen) EXPECT_EQ(device, seen.front());

  const auto& device = *seen.front();
  EXPECT_EQ(device.platform, "iOS");
  EXPECT_EQ(device.id, platform::Device::identifierForVendor().value_or(""));
  EXPECT_EQ(device.model, platform::Device::model());
  EXPECT_EQ(device.os_ver, platform::Device::systemVersion());
  EXPECT_EQ(device.data_network, "");  // no cellular provider here
  const auto dictionary = device.dictionary();
  EXPECT_EQ(dictionary.size(), 6u);
  EXPECT_TRUE(dictionary["is_wifi"].is_boolean());
}

}  // namespace
}  // namespace brelum
