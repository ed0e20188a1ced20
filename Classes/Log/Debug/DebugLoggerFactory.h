#pragma once

#include <memory>

#include "Classes/Log/Debug/LoggerFactory.h"

namespace brelum {

// Makes debug loggers with the flag it was built with. A later change of the flag it was
// built from (the facade's `verbose`) does not reach it or the loggers it made.
class DebugLoggerFactory : public LoggerFactory {
 public:
  [[nodiscard]] static std::shared_ptr<DebugLoggerFactory> make(bool verbose);

  explicit DebugLoggerFactory(bool verbose) : verbose_(verbose) {}

  [[nodiscard]] bool verbose() const noexcept { return verbose_; }

  // A new DebugLogger on every call; the factory keeps no reference to it.
  [[nodiscard]] std::shared_ptr<Logger> make() override;

 private:
  const bool verbose_;
};

}  // namespace brelum
