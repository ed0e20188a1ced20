#include "Classes/BrelumCore.h"

#include <cmath>
#include <map>
#include <mutex>
#include <utility>

#include "Classes/API/APIRequest.h"
#include "Classes/API/Responses/LoginResponse.h"
#include "Classes/API/Responses/SettingsResponse.h"
#include "Classes/API/Responses/VerifyReponse.h"
#include "Classes/DateFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPIGatewayFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingJSONEncoderFactory.h"
#include "Classes/HTTP/Curl/CurlHTTPAdapterFactory.h"
#include "Classes/Log/Debug/DebugLoggerFactory.h"
#include "Platform/Foundation/Console.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Network/ImageDownloader.h"

namespace brelum {
namespace {

constexpr std::string_view kProductionConsoleURL = "https://console.brelum.io/";
constexpr std::string_view kDevelopmentConsoleURL = "https://console-dev.brelum.io/";
constexpr std::string_view kAppLogoResourceType = "APP_LOGO";
constexpr std::string_view kDataKeyPath = "data";

struct NotificationName {
  std::mutex mutex;
  std::string value = "BrelumCoreAppLogoNotification";
};

NotificationName& appLogoNotificationName() {
  static NotificationName name;
  return name;
}

// The decimal text of the timestamp's integer part, truncated toward zero; none when that
// part does not fit a signed 64-bit integer (converting it would be undefined).
std::optional<std::string> timestampText(double timestamp) {
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (!std::isfinite(timestamp) || timestamp >= kLimit || timestamp < -kLimit) return {};
  return std::to_string(static_cast<std::int64_t>(timestamp));
}

// Fills the tracker's two process-wide factory slots, before the tracker is made: it takes
// its logger from one of them.
void installEventTrackingFactories(bool verbose) {
  EventTracker::setEventTrackingGatewayFactory(
      std::make_shared<BrelumEventTrackingAPIGatewayFactory>(
          std::make_shared<CurlHTTPAdapterFactory>(), DateFactory::make(),
          std::make_shared<BrelumEventTrackingJSONEncoderFactory>()));
  EventTracker::setLoggerFactory(DebugLoggerFactory::make(verbose));
}

std::shared_ptr<EventTracker> makeEventTracker(const std::string& appID, std::string sdkVersion,
                                               const UserSettings* userSettings, bool verbose) {
  installEventTrackingFactories(verbose);
  // Without a profile the user is anonymous rather than the facade unusable.
  const auto gender = userSettings ? userSettings->gender() : std::nullopt;
  EventTracker::Data::User user{"", userSettings ? userSettings->userId() : "",
                                userSettings ? userSettings->name() : "",
                                std::string(gender ? rawValue(*gender) : "NONE")};
  // The tracker's own flag stays off; its failure lines follow the logger factory's flag.
  return EventTracker::make(appID, std::move(sdkVersion), std::move(user), false);
}

std::shared_ptr<APIRequest> makeRequest(platform::HTTPMethod method, std::string endpoint,
                                        std::optional<std::string> cToken = std::nullopt) {
  auto request = APIRequest::make(method, std::move(endpoint));
  if (cToken) request->setHeaders({{"c-token", *cToken}});
  return request;
}

}  // namespace

std::string BrelumCoreAppLogoNotification() {
  auto& name = appLogoNotificationName();
  std::lock_guard lock(name.mutex);
  return name.value;
}

void setBrelumCoreAppLogoNotification(std::string value) {
  auto& name = appLogoNotificationName();
  std::lock_guard lock(name.mutex);
  name.value = std::move(value);
}

std::shared_ptr<BrelumCore> BrelumCore::make(std::string appID, std::string appSecret,
                                             std::string sdkVersion,
                                             std::shared_ptr<UserSettings> userSettings,
                                             bool verbose) {
  std::shared_ptr<BrelumCore> core(new BrelumCore(std::move(appID), std::move(appSecret),
                                                  std::move(sdkVersion), std::move(userSettings),
                                                  verbose));
  core->loadResourcesFromCache();
  return core;
}

BrelumCore::BrelumCore(std::string appID, std::string appSecret, std::string sdkVersion,
                       std::shared_ptr<UserSettings> userSettings, bool verbose)
    : appID_(std::move(appID)),
      appSecret_(std::move(appSecret)),
      verbose_(verbose),
      userSettings_(std::move(userSettings)),
      eventTracker_(makeEventTracker(appID_, std::move(sdkVersion), userSettings_.get(), verbose)) {
}

void BrelumCore::setAppLogo(std::shared_ptr<platform::Image> logo) {
  appLogo_ = std::move(logo);
  std::map<std::string, std::any> userInfo;
  if (appLogo_) userInfo.emplace("image", appLogo_);
  platform::NotificationCenter::defaultCenter()->post(BrelumCoreAppLogoNotification(), nullptr,
                                                      std::move(userInfo));
}

std::optional<APIManager> BrelumCore::apiManager() const {
  if (!verifiedData_ || !clientAccessToken_) return std::nullopt;
  return APIManager{verifiedData_->apiEndpointURL(), *clientAccessToken_, verbose()};
}

std::shared_ptr<SocketManager> BrelumCore::socketManager() {
  if (!socketManager_ && verifiedData_) {
    // Secure: the debug switch of the wrapper stays off.
    socketManager_ = SocketManager::make(verifiedData_->socketEndpointURL(), verbose(), false);
  }
  return socketManager_;
}

platform::URL BrelumCore::consoleURL() const {
  return *platform::URL::make(mode() == Mode::production ? kProductionConsoleURL
                                                         : kDevelopmentConsoleURL);
}

void BrelumCore::printFailure(const std::optional<platform::HTTPSessionError>& error,
                              std::string_view fallback) const {
  if (verbose()) platform::Console::print(error ? error->description : std::string(fallback));
}

void BrelumCore::validate(Completion completion) {
  auto request = makeRequest(platform::HTTPMethod::post, "v1/app/verify");
  // "mode" names the product line, not the console that `mode` chooses.
  request->setParams({{"id", appID_}, {"app_secret", appSecret_}, {"mode", "COMMERCE"}});
  request->requestJSONObject<VerifyReponse>(
      consoleURL(), std::string(kDataKeyPath),
      [weak = weak_from_this(), completion](VerifyReponse response) {
        auto data = response.data();
        if (!data) {
          completion(false);
          return;
        }
        if (auto self = weak.lock()) {
          self->verifiedData_ = std::move(data);
          self->loadResources();
        }
        completion(true);
      },
      [weak = weak_from_this(), completion](std::optional<platform::HTTPSessionError> error) {
        if (auto self = weak.lock()) self->printFailure(error, "Verify request error");
        completion(false);
      });
}

void BrelumCore::login(const std::shared_ptr<UserSettings>& userSettings, Completion completion) {
  if (!verifiedData_ || !userSettings) {
    completion(false);
    return;
  }
  auto request =
      makeRequest(platform::HTTPMethod::post, "v1/sdk/user/login", verifiedData_->cToken());
  request->setParams(userSettings->apiParams());
  request->requestJSONObject<LoginResponse>(
      verifiedData_->apiEndpointURL(), std::string(kDataKeyPath),
      [weak = weak_from_this(), completion](LoginResponse response) {
        if (!response.accessToken) {
          completion(false);
          return;
        }
        if (auto self = weak.lock()) {
          self->clientAccessToken_ = std::move(response.accessToken);
          self->getClientTrackerURL(nullptr);
        }
        completion(true);
      },
      [weak = weak_from_this(), completion](std::optional<platform::HTTPSessionError> error) {
        if (auto self = weak.lock()) self->printFailure(error, "Login request error");
        completion(false);
      });
}

void BrelumCore::getClientTrackerURL(std::function<void()> completion) {
  const auto manager = apiManager();
  if (!manager) {
    if (completion) completion();
    return;
  }
  manager->requestJSONObject<SettingsResponse>(
      makeRequest(platform::HTTPMethod::get, "v1/settings/mobile"), std::string(kDataKeyPath),
      [weak = weak_from_this(), completion](SettingsResponse response) {
        const auto trackingURL = response.trackingURLString
                                     ? platform::URL::make(*response.trackingURLString)
                                     : std::nullopt;
        if (trackingURL) {
          if (auto self = weak.lock()) {
            self->eventTracker_->setExtraURL(*trackingURL);
            self->sharingMessage_ = std::move(response.sharingMessage);
          }
        }
        if (completion) completion();
      },
      [completion](std::optional<platform::HTTPSessionError>) {
        if (completion) completion();
      });
}

void BrelumCore::resources(std::function<void(std::optional<ResourcesResponse>)> completion) {
  if (!verifiedData_) {
    completion(std::nullopt);
    return;
  }
  makeRequest(platform::HTTPMethod::get, "v1/app/resource/screens", verifiedData_->cToken())
      ->requestJSONObject<ResourcesResponse>(
          consoleURL(), std::string(kDataKeyPath),
          [completion](ResourcesResponse response) { completion(std::move(response)); },
          [completion](std::optional<platform::HTTPSessionError>) { completion(std::nullopt); });
}

void BrelumCore::downloadAppLogo(double timestamp,
                                 std::function<void(std::optional<AppLogoResponse>)> completion) {
  const auto timestampPath = timestampText(timestamp);
  if (!verifiedData_ || !timestampPath) {
    completion(std::nullopt);
    return;
  }
  makeRequest(platform::HTTPMethod::get, "v1/app/resource/app-logo/" + *timestampPath,
              verifiedData_->cToken())
      ->requestJSONObject<AppLogoResponse>(
          consoleURL(), std::string(kDataKeyPath),
          [completion](AppLogoResponse response) { completion(std::move(response)); },
          [completion](std::optional<platform::HTTPSessionError>) { completion(std::nullopt); });
}

void BrelumCore::loadResources() {
  resources([weak = weak_from_this()](std::optional<ResourcesResponse> response) {
    if (!response) return;
    const ResourceData* logo = nullptr;
    for (const auto& screen : response->screens) {
      if (screen.type == kAppLogoResourceType) {
        logo = &screen;
        break;
      }
    }
    if (!logo) return;
    auto self = weak.lock();
    if (!self) return;
    self->downloadAppLogo(logo->createdAt, [weak](std::optional<AppLogoResponse> description) {
      const auto url = description ? description->url() : std::nullopt;
      if (!url) return;
      // Servers send the logo as a plain byte stream as often as with an image type. The
      // image request goes out even when the facade is already gone.
      platform::ImageDownloader::addAcceptableImageContentTypes({"application/octet-stream"});
      platform::ImageDownloader::download(url->absoluteString(),
                                          [weak](platform::ImageResponse reply) {
                                            auto self = weak.lock();
                                            if (!self) return;
                                            self->setAppLogo(reply.image());
                                            self->cacheAppLogo();
                                          });
    });
  });
}

void BrelumCore::loadResourcesFromCache() {
  loadAppLogoFromCache();
}

void BrelumCore::loadAppLogoFromCache() {
  const auto data = platform::UserDefaults::standard()->dataForKey(BrelumCoreAppLogoNotification());
  if (!data) return;
  if (auto image = platform::Image::make(*data)) setAppLogo(std::move(image));
}

void BrelumCore::cacheAppLogo() {
  if (!appLogo_) return;
  if (auto png = appLogo_->pngData()) {
    // A failed write keeps the value in memory; the cache is a convenience, not a record.
    (void)platform::UserDefaults::standard()->setData(BrelumCoreAppLogoNotification(),
                                                      std::move(*png));
  }
}

}  // namespace brelum
