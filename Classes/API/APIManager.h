#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Classes/API/APIRequest.h"
#include "Platform/Foundation/URL.h"

namespace brelum {

// The authenticated way to the API endpoint: adds the user's access token to each request it
// forwards. A plain value, made afresh for each use. Its `verbose` is kept for the caller to
// read; whether a request prints depends on that request's own flag alone.
struct APIManager {
  platform::URL baseURL;
  std::string accessToken;
  bool verbose = false;

  template <Mappable T>
  void requestJSONObject(const std::shared_ptr<APIRequest>& request,
                         std::optional<std::string> keyPath, std::function<void(T)> onSuccess,
                         APIRequest::OnError onError) const {
    authorize(*request);
    request->requestJSONObject<T>(baseURL, std::move(keyPath), std::move(onSuccess),
                                  std::move(onError));
  }

  // As the request's own send, but the body is not handed on.
  void sendRequest(const std::shared_ptr<APIRequest>& request, std::function<void()> onSuccess,
                   APIRequest::OnError onError) const;

 private:
  void authorize(APIRequest& request) const;
};

}  // namespace brelum
