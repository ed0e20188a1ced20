#include "Classes/HTTP/Curl/CurlHTTPAdapterFactory.h"

#include "Classes/HTTP/Curl/CurlHTTPAdapter.h"

namespace brelum {

std::shared_ptr<HTTPAdapter> CurlHTTPAdapterFactory::make() {
  return std::make_shared<CurlHTTPAdapter>();
}

}  // namespace brelum
