#include "Classes/Utils/URLAppend.h"

namespace brelum {

platform::URL urlByAppendingPath(const platform::URL& url, std::string_view path) {
  return url.appendingPathComponent(path);
}

}  // namespace brelum
