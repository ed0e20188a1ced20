#pragma once

#include <memory>

#include "Classes/EventTracker/Gateway/BrelumAPI/JSONEncoder.h"

namespace brelum {

// Supplies the JSON encoder the event document is written with.
class JSONEncoderFactory {
 public:
  virtual ~JSONEncoderFactory() = default;

  // A new encoder, configured for the event document, on every call.
  [[nodiscard]] virtual std::shared_ptr<JSONEncoder> make() = 0;
};

}  // namespace brelum
