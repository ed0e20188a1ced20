#pragma once

#include <string_view>

#include "Platform/Foundation/URL.h"

namespace brelum {

// A copy of `url` with `path` appended as one more path component (a "/" goes between them
// unless the path already ends in one; query and fragment stay). `url` is not changed.
[[nodiscard]] platform::URL urlByAppendingPath(const platform::URL& url, std::string_view path);

}  // namespace brelum
