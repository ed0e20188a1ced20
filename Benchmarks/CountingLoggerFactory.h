#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "Classes/Log/Debug/Logger.h"
#include "Classes/Log/Debug/LoggerFactory.h"

namespace benchmarks {

// Hands out one logger that counts the event tracker's failure lines instead of printing
// them.
class CountingLoggerFactory : public brelum::LoggerFactory {
 public:
  class Counter : public brelum::Logger {
   public:
    void debug(const std::string&) override { failures.fetch_add(1, std::memory_order_relaxed); }
    std::atomic<int> failures{0};
  };

  std::shared_ptr<brelum::Logger> make() override { return logger; }
  std::shared_ptr<Counter> logger = std::make_shared<Counter>();
};

}  // namespace benchmarks
