#pragma once

#include <string>

namespace brelum {

// Why a JSON encoder refused a document. No text is produced when encoding fails.
struct EncodingError {
  enum class Kind {
    invalidValue,  // a value JSON cannot hold, such as a number that is not finite
  };

  Kind kind;
  std::string codingPath;  // the keys leading to the value, joined by "." ("data.event.start")
  std::string debugDescription;
};

}  // namespace brelum
