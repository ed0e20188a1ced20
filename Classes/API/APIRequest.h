#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Classes/Utils/JSONParser.h"
#include "Classes/Utils/RawValue.h"
#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Network/HTTPMethod.h"
#include "Platform/Network/HTTPSessionError.h"
#include "Platform/Network/ParameterEncoding.h"

namespace brelum {

// One REST call to the configuration server: a bag of fields that every send reads afresh,
// sent against a base URL given with each send. Sending the same request again is allowed.
//
// Threads: the caller sets the fields and sends from any thread, then leaves the fields
// alone until a callback has run. Exactly one of the two callbacks of a send runs, on the
// main queue. A pending send keeps the request alive, so the caller need not.
class APIRequest : public std::enable_shared_from_this<APIRequest> {
 public:
  enum class ContentType { json, text };

  using Method = platform::HTTPMethod;
  using Body = std::vector<std::uint8_t>;
  using Error = platform::HTTPSessionError;
  using OnError = std::function<void(std::optional<Error>)>;

  // Accepted statuses: from `first` up to but excluding `pastLast`.
  struct StatusRange {
    int first = 200;
    int pastLast = 300;
  };

  [[nodiscard]] static std::shared_ptr<APIRequest> make(Method method, std::string endpoint);

  virtual ~APIRequest() = default;

  virtual Method method() const { return method_; }
  virtual void setMethod(Method method) { method_ = method; }
  virtual const std::string& endpoint() const { return endpoint_; }
  virtual void setEndpoint(std::string endpoint) { endpoint_ = std::move(endpoint); }
  virtual const nlohmann::json& params() const { return params_; }
  virtual void setParams(nlohmann::json params) { params_ = std::move(params); }
  virtual const std::map<std::string, std::string>& headers() const { return headers_; }
  virtual void setHeaders(std::map<std::string, std::string> headers) {
    headers_ = std::move(headers);
  }
  virtual StatusRange validStatusCodes() const { return validStatusCodes_; }
  virtual void setValidStatusCodes(StatusRange range) { validStatusCodes_ = range; }
  virtual ContentType contentType() const { return contentType_; }
  virtual void setContentType(ContentType type) { contentType_ = type; }
  virtual bool verbose() const { return verbose_; }
  virtual void setVerbose(bool verbose) { verbose_ = verbose; }

  // Whether a send goes out at most once: a send that reached a connection that then died
  // is not sent again on a new one (see platform::URLRequest::atMostOnce). Off by default.
  [[nodiscard]] bool atMostOnce() const { return atMostOnce_; }
  void setAtMostOnce(bool atMostOnce) { atMostOnce_ = atMostOnce; }

  // Sends the request; `onSuccess` receives the body of any response that carried one,
  // whatever its status; `onError` the error of an exchange that delivered no body.
  virtual void sendRequest(const platform::URL& baseURL, std::function<void(Body)> onSuccess,
                           OnError onError);

  // Sends the request and maps the body (its value under `keyPath`, see JSONParser) into a
  // `T` off the main queue; a body that yields no model ends in `onError` with no error.
  template <Mappable T>
  void requestJSONObject(const platform::URL& baseURL, std::optional<std::string> keyPath,
                         std::function<void(T)> onSuccess, OnError onError);

 protected:
  APIRequest(Method method, std::string endpoint);

 private:
  Method method_;
  std::string endpoint_;
  nlohmann::json params_ = nlohmann::json::object();
  std::map<std::string, std::string> headers_;
  StatusRange validStatusCodes_;
  ContentType contentType_ = ContentType::json;
  bool verbose_ = false;
  bool atMostOnce_ = false;
};

[[nodiscard]] std::string_view rawValue(APIRequest::ContentType type);

template <>
[[nodiscard]] std::optional<APIRequest::ContentType> fromRawValue<APIRequest::ContentType>(
    std::string_view rawValue);

// The HTTP session's parameter encoding for a content type.
[[nodiscard]] platform::ParameterEncoding encoding(APIRequest::ContentType type);

template <Mappable T>
void APIRequest::requestJSONObject(const platform::URL& baseURL, std::optional<std::string> keyPath,
                                   std::function<void(T)> onSuccess, OnError onError) {
  sendRequest(
      baseURL,
      [keyPath = std::move(keyPath), onSuccess, onError](Body body) mutable {
        // Mapping large documents must not stall the host's interface.
        platform::DispatchQueue::global(platform::DispatchQoS::background)
            ->async([body = std::move(body), keyPath = std::move(keyPath),
                     onSuccess = std::move(onSuccess), onError = std::move(onError)]() mutable {
              auto model = JSONParser::parseOne<T>(body, keyPath);
              platform::DispatchQueue::main()->async([model = std::move(model),
                                                      onSuccess = std::move(onSuccess),
                                                      onError = std::move(onError)]() mutable {
                if (model) {
                  onSuccess(std::move(*model));
                } else {
                  onError(std::nullopt);
                }
              });
            });
      },
      onError);
}

}  // namespace brelum
