#pragma once

#include <memory>

#include "Classes/HTTP/HTTPAdapterFactory.h"

namespace brelum {

// Makes a new CurlHTTPAdapter on every call.
class CurlHTTPAdapterFactory : public HTTPAdapterFactory {
 public:
  [[nodiscard]] std::shared_ptr<HTTPAdapter> make() override;
};

}  // namespace brelum
