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
using Event = EventTracker::Event;

const Data::User kUser{"", "host-1", "Ann", "FEMALE"};

class EventTrackerDataTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::TimeZone::setCurrent(std::nullopt); }
};

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
}

}  // namespace
}  // namespace brelum
