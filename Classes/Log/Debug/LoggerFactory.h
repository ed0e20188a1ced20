#pragma once

#include <memory>

#include "Classes/Log/Debug/Logger.h"

namespace brelum {

// Makes the logger each event tracker holds for its whole life.
class LoggerFactory {
 public:
  virtual ~LoggerFactory() = default;

  [[nodiscard]] virtual std::shared_ptr<Logger> make() = 0;
};

}  // namespace brelum
