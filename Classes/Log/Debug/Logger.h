#pragma once

#include <string>

namespace brelum {

// Where the event-tracking side writes its diagnostic lines, so that it never reaches for
// standard output itself.
class Logger {
 public:
  virtual ~Logger() = default;

  // `message` is the finished line; a logger adds nothing to it.
  virtual void debug(const std::string& message) = 0;
};

}  // namespace brelum
