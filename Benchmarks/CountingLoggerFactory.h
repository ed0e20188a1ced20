#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "Classes/DateFactory.h"
#include "Classes/EventTracker/EventTracker.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPIGatewayFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingJSONEncoderFactory.h"
#include "Classes/HTTP/Curl/CurlHTTPAdapterFactory.h"
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

// Fills the event tracker's factory slots as the facade does, but with a logger that counts
// failure lines; answers it.
inline std::shared_ptr<CountingLoggerFactory> installCountingEventTracking() {
  brelum::EventTracker::setEventTrackingGatewayFactory(
      std::make_shared<brelum::BrelumEventTrackingAPIGatewayFactory>(
          std::make_shared<brelum::CurlHTTPAdapterFactory>(), brelum::DateFactory::make(),
          std::make_shared<brelum::BrelumEventTrackingJSONEncoderFactory>()));
  auto loggers = std::make_shared<CountingLoggerFactory>();
  brelum::EventTracker::setLoggerFactory(loggers);
  return loggers;
}

}  // namespace benchmarks
