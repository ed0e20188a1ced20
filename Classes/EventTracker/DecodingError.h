#pragma once

#include <string>

namespace brelum {

// Why a record could not be read back from JSON. No value is made when decoding fails.
struct DecodingError {
  enum class Kind {
    keyNotFound,    // a required key is missing
    valueNotFound,  // a required key holds null
    typeMismatch,   // a key (or the document) holds a value of another JSON kind
    dataCorrupted,  // the kind is right but the value is not one the field can hold
  };

  Kind kind;
  std::string key;               // the key at fault; empty for the document itself
  std::string debugDescription;  // for logs
};

}  // namespace brelum
