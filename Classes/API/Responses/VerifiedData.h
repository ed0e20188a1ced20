#pragma once

#include <string>
#include <utility>

#include "Platform/Foundation/URL.h"

namespace brelum {

struct VerifyReponse;

// The outcome of a successful app verification: where the authenticated calls and the
// socket go, and the client token and app id they carry. Only a verification answer whose
// fields all check out makes one (VerifyReponse::data()).
class VerifiedData {
 public:
  [[nodiscard]] const platform::URL& apiEndpointURL() const { return apiEndpointURL_; }
  [[nodiscard]] const platform::URL& socketEndpointURL() const { return socketEndpointURL_; }
  [[nodiscard]] const std::string& cToken() const { return cToken_; }
  [[nodiscard]] const std::string& appId() const { return appId_; }

 private:
  friend struct VerifyReponse;

  VerifiedData(platform::URL apiEndpointURL, platform::URL socketEndpointURL, std::string cToken,
               std::string appId)
      : apiEndpointURL_(std::move(apiEndpointURL)),
        socketEndpointURL_(std::move(socketEndpointURL)),
        cToken_(std::move(cToken)),
        appId_(std::move(appId)) {}

  platform::URL apiEndpointURL_;
  platform::URL socketEndpointURL_;
  std::string cToken_;
  std::string appId_;
};

}  // namespace brelum
