#include "Classes/Log/Debug/DebugLogger.h"

#include "Platform/Foundation/Console.h"

namespace brelum {

std::shared_ptr<DebugLogger> DebugLogger::make(bool verbose) {
  return std::make_shared<DebugLogger>(verbose);
}

DebugLogger::DebugLogger(bool verbose) : verbose_(verbose) {
}

void DebugLogger::debug(const std::string& message) {
  if (verbose()) platform::Console::print(message);
}

}  // namespace brelum
