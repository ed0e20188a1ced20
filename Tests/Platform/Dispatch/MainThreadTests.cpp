#include "Platform/Dispatch/MainThread.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Views, media objects, the desktop and the main loop all rely on this one check.
TEST(MainThreadDeathTest, UseOffTheMainThreadStopsTheProcessNamingTheUser) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  platform::detail::requireMainThread("Probe");  // on the main thread: nothing happens
  EXPECT_DEATH(std::thread([] { platform::detail::requireMainThread("Probe"); }).join(),
               "Fatal error: Probe is used on the main thread only");
}

}  // namespace
