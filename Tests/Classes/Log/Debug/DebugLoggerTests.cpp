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

TEST(DebugLogger, SwitchingTheFlagChangesOnlyLaterCalls) {
  platform::ConsoleCapture console;
  const auto logger = DebugLogger::make(false);
  logger->debug("before");
  logger->setVerbose(true);
  logger->debug("during");
  logger->setVerbose(false);
  logger->debug("after");
  EXPECT_EQ(console.lines(), Lines{"during"});
}

TEST(DebugLogger, FactoryMakesAFreshLoggerEachTimeThatKeepsItsOwnFlag) {
  platform::ConsoleCapture console;
  const auto factory = DebugLoggerFactory::make(true);
  const auto first = std::dynamic_pointer_cast<DebugLogger>(factory->make());
  const auto second = std::dynamic_pointer_cast<DebugLogger>(factory->make());
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(first.use_count(), 1);  // the factory holds none of them
  first->setVerbose(false);
  first->debug("muted");
  second->debug("heard");
  factory->make()->debug("new");
  EXPECT_EQ(console.lines(), (Lines{"heard", "new"}));
}

}  // namespace
