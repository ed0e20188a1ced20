#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingJSONEncoderFactory.h"

#include "Classes/EventTracker/Gateway/BrelumAPI/CompiledDateFormatter.h"
#include "Platform/Foundation/Locale.h"

namespace brelum {

std::shared_ptr<JSONEncoder> BrelumEventTrackingJSONEncoderFactory::make() {
  auto encoder = JSONEncoder::make();
  encoder->setKeyEncodingStrategy(JSONEncoder::KeyEncodingStrategy::convertToSnakeCase);
  // Each encoder gets its own formatter, a copy of one whose pattern is compiled once per
  // process: building an ICU formatter for every event would cost more than the rest of
  // the document. The final apostrophe opens a quoted section that nothing closes; it
  // writes nothing and is kept so the text stays what receivers already parse.
  static const CompiledDateFormatter formatter("yyyy-MM-dd'T'HH:mm:ssZ'",
                                               platform::Locale("en_US"));
  encoder->setDateEncodingStrategy(JSONEncoder::formatted(formatter));
  return encoder;
}

}  // namespace brelum
