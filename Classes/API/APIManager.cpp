#include "Classes/API/APIManager.h"

namespace brelum {

void APIManager::sendRequest(const std::shared_ptr<APIRequest>& request,
                             std::function<void()> onSuccess, APIRequest::OnError onError) const {
  authorize(*request);
  request->sendRequest(
      baseURL, [onSuccess = std::move(onSuccess)](APIRequest::Body) { onSuccess(); },
      std::move(onError));
}

void APIManager::authorize(APIRequest& request) const {
  auto headers = request.headers();
  headers["access-token"] = accessToken;
  request.setHeaders(std::move(headers));
}

}  // namespace brelum
