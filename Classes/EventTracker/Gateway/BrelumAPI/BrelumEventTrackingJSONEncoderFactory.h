#pragma once

#include <memory>

#include "Classes/EventTracker/Gateway/BrelumAPI/JSONEncoderFactory.h"

namespace brelum {

// The encoder of the event document: snake-case keys, dates as
// "yyyy-MM-dd'T'HH:mm:ssZ'" in "en_US" and the process's current zone
// ("2026-12-06T22:32:40+0530"), compact UTF-8 text escaping only what JSON requires.
//
// Stateless, so one instance serves every gateway on any thread. It is made with
// std::make_shared: the name `make` belongs to the encoder it supplies.
class BrelumEventTrackingJSONEncoderFactory : public JSONEncoderFactory {
 public:
  BrelumEventTrackingJSONEncoderFactory() = default;

  [[nodiscard]] std::shared_ptr<JSONEncoder> make() override;
};

}  // namespace brelum
