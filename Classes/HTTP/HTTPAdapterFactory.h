#pragma once

#include <memory>

#include "Classes/HTTP/HTTPAdapter.h"

namespace brelum {

class HTTPAdapterFactory {
 public:
  virtual ~HTTPAdapterFactory() = default;

  [[nodiscard]] virtual std::shared_ptr<HTTPAdapter> make() = 0;
};

}  // namespace brelum
