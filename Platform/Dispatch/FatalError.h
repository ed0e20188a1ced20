#pragma once

#include <string_view>

namespace platform {

// Stops the process on a programming error (never on bad input or a failed exchange):
// prints "Fatal error: " and the message to standard error, then aborts.
[[noreturn]] void fatalError(std::string_view message);

}  // namespace platform
