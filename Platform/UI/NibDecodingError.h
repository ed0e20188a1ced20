#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// Thrown by a decoding constructor (T(const NibCoder&)) that cannot make its object from a
// nib. The nib reader catches it: the nib then gives no objects, and the console line that
// reports it carries what().
class NibDecodingError : public std::runtime_error {
 public:
  explicit NibDecodingError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace platform
