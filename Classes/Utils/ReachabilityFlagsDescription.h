#pragma once

#include <string>

#include "Platform/Network/ReachabilityFlags.h"

namespace brelum::detail {

// The monitor's ten-character text of a flag set, one position per flag with a fixed
// space third: "WR ctiCDld" with every flag set, "-" for each flag that is clear.
[[nodiscard]] std::string description(platform::ReachabilityFlags flags);

}  // namespace brelum::detail
