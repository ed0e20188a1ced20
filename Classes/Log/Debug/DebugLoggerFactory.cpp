#include "Classes/Log/Debug/DebugLoggerFactory.h"

#include "Classes/Log/Debug/DebugLogger.h"

namespace brelum {

std::shared_ptr<DebugLoggerFactory> DebugLoggerFactory::make(bool verbose) {
  return std::make_shared<DebugLoggerFactory>(verbose);
}

std::shared_ptr<Logger> DebugLoggerFactory::make() {
  return DebugLogger::make(verbose_);
}

}  // namespace brelum
