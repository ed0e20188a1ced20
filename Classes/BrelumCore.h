#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Classes/API/APIManager.h"
#include "Classes/API/Responses/AppLogoResponse.h"
#include "Classes/API/Responses/ResourcesResponse.h"
#include "Classes/API/Responses/VerifiedData.h"
#include "Classes/EventTracker/EventTracker.h"
#include "Classes/Sockets/SocketManager.h"
#include "Classes/UserSettings.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Graphics/Image.h"

namespace brelum {

// The name of the notification posted on every assignment of the app logo, and the user-
// defaults key of the cached logo; "BrelumCoreAppLogoNotification" until a host sets another.
[[nodiscard]] std::string BrelumCoreAppLogoNotification();
void setBrelumCoreAppLogoNotification(std::string name);

// The one object through which a host drives the framework: it verifies the app against
// the configuration server, logs the end user in, loads the settings, the screen resources
// and the app logo (cached on disk and announced by notification), and owns the event
// tracker through which the host reports analytics events.
//
// Threads: the facade has no queue or lock of its own. Host calls belong on the main thread;
// every server answer is handled on the main queue, where the host's completions run too.
// Callbacks hold the facade weakly: once the host has released it, answers store nothing,
// while `validate` and `login` still call their completions.
class BrelumCore : public std::enable_shared_from_this<BrelumCore> {
 public:
  enum class Mode { development, production };

  using Completion = std::function<void(bool)>;

  // Installs the event tracker's process-wide gateway and logger factories (replacing those
  // of any earlier facade, whose tracker then sends through the new gateway factory but
  // keeps its logger) and makes this facade's tracker for `userSettings`' user. Also loads
  // the cached logo, which posts the logo notification before this returns.
  [[nodiscard]] static std::shared_ptr<BrelumCore> make(std::string appID, std::string appSecret,
                                                        std::string sdkVersion,
                                                        std::shared_ptr<UserSettings> userSettings,
                                                        bool verbose);

  virtual ~BrelumCore() = default;
  BrelumCore(const BrelumCore&) = delete;
  BrelumCore& operator=(const BrelumCore&) = delete;

  [[nodiscard]] virtual const std::optional<std::string>& sharingMessage() const {
    return sharingMessage_;
  }
  [[nodiscard]] virtual std::shared_ptr<platform::Image> appLogo() const { return appLogo_; }
  // Every assignment posts the logo notification, also of the same image or of none.
  virtual void setAppLogo(std::shared_ptr<platform::Image> logo);
  [[nodiscard]] virtual bool verbose() const { return verbose_; }
  virtual void setVerbose(bool verbose) { verbose_ = verbose; }
  [[nodiscard]] virtual Mode mode() const { return mode_; }
  virtual void setMode(Mode mode) { mode_ = mode; }

  // The facade's one tracker, made with it and kept for its whole life. Its failure lines
  // follow the `verbose` the facade was made with, not later changes.
  [[nodiscard]] const std::shared_ptr<EventTracker>& eventTracker() const { return eventTracker_; }

  // A new value on every read, present once the app is verified and the user logged in.
  [[nodiscard]] virtual std::optional<APIManager> apiManager() const;

  // The backing store of socketManager(), which the host may replace or clear.
  [[nodiscard]] virtual const std::shared_ptr<SocketManager>& _socketManager() const {
    return socketManager_;
  }
  virtual void set_socketManager(std::shared_ptr<SocketManager> manager) {
    socketManager_ = std::move(manager);
  }
  // Made on the first read after a verification, for the verified socket endpoint with the
  // current `verbose`, then kept (also across later verifications); null before. The framework
  // never connects it: connecting and subscribing are the host's.
  [[nodiscard]] virtual std::shared_ptr<SocketManager> socketManager();

  // Verifies the app; `true` when verified data arrived. Each success replaces the verified
  // data and loads the screen resources and the logo again in the background.
  virtual void validate(Completion completion);

  // Logs the end user in with `userSettings`' login parameters (which are not kept); `true`
  // when an access token arrived. Answers `false` at once before a verification, and for
  // a null `userSettings`.
  virtual void login(const std::shared_ptr<UserSettings>& userSettings, Completion completion);

  void loadAppLogoFromCache();
  void cacheAppLogo();

 protected:
  BrelumCore(std::string appID, std::string appSecret, std::string sdkVersion,
             std::shared_ptr<UserSettings> userSettings, bool verbose);

  [[nodiscard]] virtual platform::URL consoleURL() const;
  virtual void getClientTrackerURL(std::function<void()> completion);
  virtual void resources(std::function<void(std::optional<ResourcesResponse>)> completion);
  virtual void downloadAppLogo(double timestamp,
                               std::function<void(std::optional<AppLogoResponse>)> completion);

 private:
  void loadResources();
  void loadResourcesFromCache();
  void printFailure(const std::optional<platform::HTTPSessionError>& error,
                    std::string_view fallback) const;

  std::optional<VerifiedData> verifiedData_;
  std::optional<std::string> clientAccessToken_;
  const std::string appID_;
  const std::string appSecret_;
  std::optional<std::string> sharingMessage_;
  std::shared_ptr<platform::Image> appLogo_;
  bool verbose_;
  Mode mode_ = Mode::production;
  const std::shared_ptr<UserSettings> userSettings_;
  std::shared_ptr<SocketManager> socketManager_;
  const std::shared_ptr<EventTracker> eventTracker_;
};

}  // namespace brelum
