#pragma once

#include <memory>

#include "Platform/Foundation/Date.h"

namespace brelum {

// The clock the event gateways read event times from. A class rather than a function so
// that one object can be shared by a gateway factory and every gateway it makes, and
// replaced by a subclass where a fixed time is wanted.
class DateFactory {
 public:
  [[nodiscard]] static std::shared_ptr<DateFactory> make();

  DateFactory() = default;
  virtual ~DateFactory() = default;

  // The current time, read anew on every call. Safe from any thread.
  [[nodiscard]] virtual platform::Date now();
};

}  // namespace brelum
