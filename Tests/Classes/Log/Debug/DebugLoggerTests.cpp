#include "Classes/Log/Debug/DebugLogger.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Classes/Log/Debug/DebugLoggerFactory.h"
#include "Platform/Foundation/Console.h"

using brelum::DebugLogger;
using brelum::DebugLoggerFactory;
using Lines = std::vector<std::string>;

namespace {

// A logger's flag changes only later calls; the factory makes a fresh logger each time,
// holds none of them, and gives each its own flag.
TEST(DebugLogger, EachLoggerKeepsItsOwnFlag) {
  platform::ConsoleCapture console;
  const auto factory = DebugLoggerFactory::make(true);
  const auto first = std::dynamic_pointer_cast<DebugLogger>(factory->make());
  const auto second = std::dynamic_pointer_cast<DebugLogger>(factory->make());
  ASSERT_TRUE(first) << "not a DebugLogger";
  ASSERT_TRUE(second) << "not a DebugLogger";
  EXPECT_NE(first, second);
  EXPECT_EQ(first.use_count(), 1);
  first->debug("before");
  first->setVerbose(false);
  first->debug("muted");
  second->debug("heard");
  first->setVerbose(true);
  first->debug("again");
  factory->make()->debug("new");
  DebugLogger::make(false)->debug("quiet");
  EXPECT_EQ(console.lines(), (Lines{"before", "heard", "again", "new"}));
}

}  // namespace
