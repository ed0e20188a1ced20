#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "Classes/Log/Debug/Logger.h"

namespace brelum {

// Writes each message as one console line while `verbose` is on, and nothing otherwise.
// The flag is read at every call, so switching it affects only later calls. May be called
// from any thread.
class DebugLogger : public Logger {
 public:
  [[nodiscard]] static std::shared_ptr<DebugLogger> make(bool verbose);

  explicit DebugLogger(bool verbose);

  [[nodiscard]] bool verbose() const noexcept { return verbose_.load(std::memory_order_relaxed); }
  void setVerbose(bool verbose) noexcept { verbose_.store(verbose, std::memory_order_relaxed); }

  void debug(const std::string& message) override;

 private:
  std::atomic<bool> verbose_;
};

}  // namespace brelum
