#include "SocketIO/Client/ManagerSettings.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;
using socketio::SocketIOClientOption;
using socketio::detail::ManagerSettings;

// Read from the resolved settings: a test cannot wait out real reconnect delays.
TEST(ManagerSettings, ReconnectWaitsStartAtTenSecondsAndStopAtThirtyOrTheFirstWait) {
  const auto url = platform::URL::make("https://socket.brelum.io").value();
  const auto defaults = ManagerSettings::make(url, {});
  EXPECT_EQ(defaults.reconnectWait, 10s);
  EXPECT_EQ(defaults.reconnectWaitMax, 30s);
  const auto longer = ManagerSettings::make(url, {SocketIOClientOption::reconnectWait(40s)});
  EXPECT_EQ(longer.reconnectWaitMax, 40s);
}

}  // namespace
