#pragma once

#include <string>
#include <string_view>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/FatalError.h"

namespace platform::detail {

// Media objects belong to the main thread; using one elsewhere is a programming error.
inline void requireMainThread(std::string_view who) {
  if (!isMainThread()) fatalError(std::string(who) + " is used on the main thread only");
}

}  // namespace platform::detail
