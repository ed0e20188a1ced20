#include "Classes/BrelumCore.h"

#include <gtest/gtest.h>

#include <any>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "Platform/Foundation/Console.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Tests/Support/Backend.h"
#include "Tests/Support/ChildProcess.h"
#include "Tests/Support/MainLoopPump.h"
#include "Tests/Support/StandInQueue.h"

using namespace std::chrono_literals;
using brelum::BrelumCore;
using brelum::EventTracker;
using brelum::UserSettings;
using testsupport::awaitCompletion;
using testsupport::runMainLoopUntil;
using Lines = std::vector<std::string>;

namespace {

constexpr const char* kAppID = "demo-app";
constexpr const char* kAppSecret = "demo-secret";
constexpr const char* kLogoImagePath = "/assets/logo/1700000000.png";
constexpr const char* kSharingMessage = "Shop with me on Brelum!";
// Verified data without a socket endpoint is no verification.
constexpr const char* kNoSocketEndpoint =
    R"({"data":{"api_endpoint":"https://api.brelum.io/","c_token":"t","app_id":"demo-app"}})";

std::shared_ptr<UserSettings> profile(std::optional<UserSettings::Gender> gender = std::nullopt) {
  return UserSettings::make("user-1", "Ada", "EUR", "ada@example.com", "555", "https://p.io/a",
                            gender);
}

std::shared_ptr<BrelumCore> makeCore(bool verbose = false) {
  return BrelumCore::make(kAppID, kAppSecret, "1.0.0", profile(), verbose);
}

auto cachedLogo(const std::string& key = brelum::BrelumCoreAppLogoNotification()) {
  return platform::UserDefaults::standard()->dataForKey(key);
}

// Counts logo notifications and keeps the last one's image, if any.
struct LogoObserver {
  explicit LogoObserver(const std::string& name = brelum::BrelumCoreAppLogoNotification())
      : token(platform::NotificationCenter::defaultCenter()->addObserver(
            name, nullptr, nullptr, [this](const platform::Notification& note) {
              ++posts;
              const auto found = note.userInfo.find("image");
              lastImage = found == note.userInfo.end()
                              ? nullptr
                              : std::any_cast<std::shared_ptr<platform::Image>>(found->second);
            })) {}
  ~LogoObserver() { platform::NotificationCenter::defaultCenter()->removeObserver(token); }
  bool await(int count) {
    return runMainLoopUntil([&] { return posts >= count; }, 20s);
  }

  int posts = 0;
  std::shared_ptr<platform::Image> lastImage;
  platform::NotificationCenter::ObserverToken token;
};

std::optional<bool> validate(const std::shared_ptr<BrelumCore>& core) {
  return awaitCompletion<bool>([&](auto done) { core->validate(done); });
}

std::optional<bool> login(const std::shared_ptr<BrelumCore>& core,
                          std::shared_ptr<UserSettings> settings = profile()) {
  return awaitCompletion<bool>([&](auto done) { core->login(settings, done); });
}

// Opens the facade's internal settings fetch, so a test can wait for the fetch's end.
struct TestableCore : BrelumCore {
  TestableCore() : BrelumCore(kAppID, kAppSecret, "1.0.0", profile(), false) {}
  void fetchSettings() {
    awaitCompletion<bool>([&](auto done) { getClientTrackerURL([done] { done(true); }); });
  }
};

void sendAndWait(BrelumCore& core, EventTracker::Event event) {
  awaitCompletion<bool>(
      [&](auto done) { core.eventTracker()->send(std::move(event), [done] { done(true); }); });
}

class BrelumCoreTest : public testsupport::BackendTest {
 protected:
  // The standard defaults fix their file on first use: point them into this run's folder
  // (a child process started by a test keeps its parent's).
  static void SetUpTestSuite() {
    std::filesystem::create_directories(folder());
    ::setenv("BRELUM_USER_DEFAULTS_PATH", (folder() / "UserDefaults.json").c_str(), 0);
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    if (!testsupport::isChildProcess()) std::filesystem::remove_all(folder(), ignored);
  }
  static std::filesystem::path folder() {
    return std::filesystem::temp_directory_path() /
           ("brelum-facade-tests-" + std::to_string(::getpid()));
  }

  // Each test starts without a cached logo; a child process works on its parent's cache.
  void SetUp() override {
    BackendTest::SetUp();
    brelum::setBrelumCoreAppLogoNotification("BrelumCoreAppLogoNotification");
    if (!testsupport::isChildProcess()) forgetLogo();
  }
  static void forgetLogo() {
    (void)platform::UserDefaults::standard()->removeObject(brelum::BrelumCoreAppLogoNotification());
  }

  [[nodiscard]] std::size_t received(std::string_view path) const {
    return backend().requests(path).size();
  }

  // Pumps until the back end has answered a request on `path` (any, by default) and nothing
  // else is in flight, then until the answers have been handled.
  void awaitQuiet(std::string_view path = {}) {
    EXPECT_TRUE(runMainLoopUntil([&] { return received(path) > 0 && backend().idle(); }, 20s))
        << path;
    testsupport::drainMainQueue();
  }
};

// The stand-in refuses a verification without the app's id, secret and product line, and the
// resource calls without the client token, so a wrong request fails here. Servers send the
// logo as a plain byte stream as often as with an image type.
TEST_F(BrelumCoreTest, VerifiesAndLoadsAndCachesTheLogoThroughTheModesConsole) {
  constexpr const char* kDescription = "/v1/app/resource/app-logo/1700000000";
  for (auto [mode, console, imagePath] :
       {std::tuple{BrelumCore::Mode::production, "console.brelum.io", kLogoImagePath},
        std::tuple{BrelumCore::Mode::development, "console-dev.brelum.io",
                   "/assets/logo/octet-stream.png"}}) {
    SCOPED_TRACE(console);
    backend().reset();
    forgetLogo();
    backend().failWith(
        kDescription, 200,
        R"({"data":{"Loading_Logo":"https://console.brelum.io)" + std::string(imagePath) + "\"}}");
    auto core = makeCore();
    if (mode == BrelumCore::Mode::development) core->setMode(mode);  // production by default
    LogoObserver observer;
    EXPECT_EQ(validate(core), true);
    ASSERT_TRUE(observer.await(1));
    for (const auto* path : {"/v1/app/verify", "/v1/app/resource/screens", kDescription}) {
      const auto requests = backend().requests(path);
      ASSERT_EQ(requests.size(), 1u) << path;
      EXPECT_EQ(requests[0].header("host"), console) << path;
      EXPECT_EQ(requests[0].sni, console) << path;
    }
    EXPECT_EQ(nlohmann::json::parse(backend().requests("/v1/app/verify")[0].body),
              (nlohmann::json{{"id", kAppID}, {"app_secret", kAppSecret}, {"mode", "COMMERCE"}}));
    // The image comes from wherever the description points, without the client token.
    const auto image = backend().requests(imagePath);
    ASSERT_EQ(image.size(), 1u);
    EXPECT_FALSE(image[0].header("c-token"));
    ASSERT_TRUE(core->appLogo());
    EXPECT_EQ(core->appLogo()->width(), 32);
    EXPECT_EQ(observer.lastImage, core->appLogo());
    EXPECT_TRUE(cachedLogo());
  }
}

// Also: login fails at once before a verification or without a profile, and the socket
// manager is made on the first read after a verification, with the facade's verbose flag, then
// kept until the host clears it.
TEST_F(BrelumCoreTest, AFailedVerificationAnswersFalseLoadsNothingAndKeepsTheEarlierData) {
  auto core = makeCore();
  EXPECT_EQ(login(core), false);
  EXPECT_FALSE(core->socketManager());
  EXPECT_FALSE(core->_socketManager());  // a read before verification stores nothing
  EXPECT_EQ(validate(core), true);
  EXPECT_EQ(login(core, nullptr), false);
  awaitQuiet(kLogoImagePath);
  core->setVerbose(true);
  const auto socket = core->socketManager();
  ASSERT_TRUE(socket);
  EXPECT_TRUE(socket->verbose());
  for (auto [status, body] : {std::pair{401, R"({"error":{"code":401,"message":"no"}})"},
                              std::pair{200, kNoSocketEndpoint}, std::pair{200, "not json"}}) {
    backend().reset();
    backend().failWith("/v1/app/verify", status, body);
    EXPECT_EQ(validate(core), false) << body;
    // Still verified as before: login goes to the earlier API endpoint with the earlier token.
    EXPECT_EQ(login(core), true);
    EXPECT_EQ(backend().requests("/v1/sdk/user/login").at(0).header("host"), "api.brelum.io");
    awaitQuiet();
    EXPECT_EQ(received("/v1/app/resource/screens"), 0u);
  }
  backend().reset();
  EXPECT_EQ(validate(core), true);
  EXPECT_EQ(core->socketManager(), socket);
  core->set_socketManager(nullptr);
  EXPECT_NE(core->socketManager(), socket);  // the host cleared it: made anew
}

// The first screen typed exactly APP_LOGO names the logo; its time stamp is truncated toward
// zero, and one with no 64-bit integer part asks for no logo.
TEST_F(BrelumCoreTest, TheFirstExactAppLogoScreenGivesTheTruncatedTimestamp) {
  for (auto [createdAt, logoPath] :
       {std::pair{"12.9", "/v1/app/resource/app-logo/12"},
        std::pair{"-12.9", "/v1/app/resource/app-logo/-12"},
        std::pair{"-0.5", "/v1/app/resource/app-logo/0"}, std::pair{"1e300", ""}}) {
    backend().reset();
    backend().failWith("/v1/app/resource/screens", 200,
                       R"({"data":{"screens":[{"resource_type":"app_logo","created_at":1},)"
                       R"({"resource_type":"APP_LOGO","created_at":)" +
                           std::string(createdAt) +
                           R"(},{"resource_type":"APP_LOGO","created_at":99}]}})");
    const auto core = makeCore();
    EXPECT_EQ(validate(core), true);
    const std::string expected = logoPath;
    awaitQuiet(expected.empty() ? "/v1/app/resource/screens" : expected);
    Lines logoPaths;
    for (const auto& request : backend().requests()) {
      if (request.path.starts_with("/v1/app/resource/app-logo/")) logoPaths.push_back(request.path);
    }
    EXPECT_EQ(logoPaths, expected.empty() ? Lines{} : Lines{expected});
  }
}

TEST_F(BrelumCoreTest, AReleasedFacadeStillCompletesButStoresNothing) {
  backend().delay("/v1/app/verify", 300ms);
  auto outcome = awaitCompletion<bool>([&](auto done) { makeCore()->validate(done); });
  EXPECT_EQ(outcome, true);
  awaitQuiet();
  EXPECT_EQ(received("/v1/app/resource/screens"), 0u);
}

// Only a failed exchange prints, and only for a verbose facade; the tracker's failure lines
// follow the flag the facade was made with, not later changes.
TEST_F(BrelumCoreTest, FailureLinesAppearOnlyWhenVerbose) {
  for (bool verbose : {false, true}) {
    auto core = makeCore(verbose);
    EXPECT_EQ(validate(core), true);
    backend().failWith("/v1/app/verify", 200, "not json");
    backend().failWith("/v1/sdk/user/login", 204);
    backend().failWith(std::string(testsupport::kEventQueuePath), 500);
    platform::ConsoleCapture console;
    EXPECT_EQ(validate(core), false);
    EXPECT_EQ(login(core), false);
    core->setVerbose(!verbose);
    sendAndWait(*core, EventTracker::Event::closeSDK("show-1"));
    Lines lines = console.lines();
    if (verbose) {
      ASSERT_EQ(lines.size(), 3u);
      EXPECT_TRUE(lines[2].starts_with(EventTracker::kFailureMarker)) << lines[2];
      EXPECT_TRUE(lines[2].ends_with(" got an 500 response.")) << lines[2];
      lines.pop_back();
    }
    EXPECT_EQ(lines, verbose ? Lines({"Verify request error", "Login request error"}) : Lines());
    backend().reset();
  }
}

// The login's settings fetch sets the tracker's customer URL, yet events still go to the queue.
TEST_F(BrelumCoreTest, LoginStoresTheTokenAndOnlyUsableSettingsAreTaken) {
  auto core = std::make_shared<TestableCore>();
  core->fetchSettings();  // before login: nothing to fetch with
  EXPECT_EQ(received("/v1/settings/mobile"), 0u);
  EXPECT_EQ(validate(core), true);
  EXPECT_FALSE(core->apiManager());
  EXPECT_EQ(login(core, profile(UserSettings::Gender::female)), true);
  ASSERT_TRUE(core->apiManager());
  EXPECT_EQ(core->apiManager()->accessToken, "access-token-5678");
  EXPECT_EQ(core->apiManager()->baseURL.absoluteString(), "https://api.brelum.io/");
  const auto logins = backend().requests("/v1/sdk/user/login");
  ASSERT_EQ(logins.size(), 1u);
  EXPECT_EQ(logins[0].header("c-token"), "c-token-1234");
  EXPECT_EQ(nlohmann::json::parse(logins[0].body),
            (nlohmann::json{{"client_user_id", "user-1"},
                            {"name", "Ada"},
                            {"currency", "EUR"},
                            {"email", "ada@example.com"},
                            {"mobile_number", "555"},
                            {"profile_url", "https://p.io/a"},
                            {"gender", "FEMALE"}}));
  // Absent optional fields are left out, not sent empty.
  EXPECT_EQ(UserSettings::make("u", "", "", {}, {}, {}, {})->apiParams(),
            (nlohmann::json{{"client_user_id", "u"}, {"name", ""}, {"currency", ""}}));
  ASSERT_TRUE(runMainLoopUntil([&] { return core->sharingMessage().has_value(); }, 20s));
  EXPECT_EQ(core->sharingMessage(), kSharingMessage);
  EXPECT_EQ(core->eventTracker()->extraURL()->absoluteString(),
            "https://api.brelum.io/v1/customer/events");

  sendAndWait(*core, EventTracker::Event::open_app("entry-1"));
  EXPECT_EQ(testsupport::queueMessages(backend()).size(), 1u);
  EXPECT_EQ(received("/v1/customer/events"), 0u);
  for (auto [status, body] :
       {std::pair{200,
                  R"({"data":{"client_event_tracking_url":"not a url","sharing_message":"x"}})"},
        std::pair{500, "down"}}) {
    backend().failWith("/v1/settings/mobile", status, body);
    core->fetchSettings();
    EXPECT_EQ(core->sharingMessage(), kSharingMessage);
  }
  backend().failWith("/v1/settings/mobile", 200,
                     R"({"data":{"client_event_tracking_url":"https://api.brelum.io/t"}})");
  core->fetchSettings();
  EXPECT_FALSE(core->sharingMessage());
  EXPECT_EQ(core->eventTracker()->extraURL()->absoluteString(), "https://api.brelum.io/t");
}

TEST_F(BrelumCoreTest, AFailedImageClearsTheLogoButKeepsTheCachedOne) {
  LogoObserver observer;
  auto core = makeCore();
  EXPECT_EQ(validate(core), true);
  ASSERT_TRUE(observer.await(1));
  ASSERT_TRUE(observer.lastImage);
  const auto cached = cachedLogo();
  ASSERT_TRUE(cached);

  backend().failWith(kLogoImagePath, 404, "gone");
  EXPECT_EQ(validate(core), true);
  ASSERT_TRUE(observer.await(2));
  EXPECT_FALSE(observer.lastImage);
  EXPECT_FALSE(core->appLogo());
  EXPECT_EQ(cachedLogo(), cached);

  // The next facade brings the cached logo back, announcing it from its initialiser.
  auto next = makeCore();
  EXPECT_EQ(observer.posts, 3);
  ASSERT_TRUE(next->appLogo());
  EXPECT_EQ(next->appLogo()->width(), 32);
}

// A renamed notification names both the post and the cache key; a host's assignment posts,
// only cacheAppLogo writes, and undecodable cache data is no logo.
TEST_F(BrelumCoreTest, TheLogoNotificationNamesThePostAndTheCacheKey) {
  brelum::setBrelumCoreAppLogoNotification("HostLogo");
  (void)platform::UserDefaults::standard()->setData("HostLogo", {1, 2, 3});
  LogoObserver renamed("HostLogo");
  LogoObserver original("BrelumCoreAppLogoNotification");
  auto core = makeCore();
  EXPECT_EQ(renamed.posts, 0);
  EXPECT_FALSE(core->appLogo());
  const auto logo = platform::Image::make(2, 1, std::vector<std::uint8_t>(8, 200));
  core->setAppLogo(logo);
  EXPECT_EQ(renamed.posts, 1);
  EXPECT_EQ(renamed.lastImage, logo);
  EXPECT_EQ(cachedLogo("HostLogo"), (std::vector<std::uint8_t>{1, 2, 3}));
  core->cacheAppLogo();
  EXPECT_FALSE(cachedLogo("BrelumCoreAppLogoNotification"));
  auto next = makeCore();
  EXPECT_EQ(renamed.posts, 2);
  ASSERT_TRUE(next->appLogo());
  EXPECT_EQ(next->appLogo()->width(), 2);
  core->setAppLogo(nullptr);
  EXPECT_EQ(renamed.posts, 3);
  EXPECT_FALSE(renamed.lastImage);
  EXPECT_EQ(original.posts, 0);
  (void)platform::UserDefaults::standard()->removeObject("HostLogo");
}

// A host that exits with everything alive: a connected socket, a verification, an event and a
// logo download in flight. Static destruction must neither crash nor hang.
TEST_F(BrelumCoreTest, ChildProcessExitsWithALiveFacadeAndSocket) {
  if (!testsupport::isChildProcess()) GTEST_SKIP() << "runs only as the child of a test";
  static auto core = makeCore(true);
  ASSERT_EQ(validate(core), true);
  auto socket = core->socketManager();
  ASSERT_TRUE(socket);
  ASSERT_EQ(awaitCompletion<bool>([&](auto done) { socket->connect(done); }), true);
  backend().delay("*", 10s);
  core->validate([](bool) {});
  core->eventTracker()->send(EventTracker::Event::open_app("entry-1"), [] {});
  std::exit(0);
}

TEST_F(BrelumCoreTest, AProcessExitsCleanlyWithALiveFacadeAndSocket) {
  if (testsupport::isChildProcess()) GTEST_SKIP();
  EXPECT_TRUE(testsupport::exitedCleanly(testsupport::runThisTestInAChild(
      "BrelumCoreTest.ChildProcessExitsWithALiveFacadeAndSocket")));
}

TEST_F(BrelumCoreTest, TheTrackerComesFromTheProfileWithAnEmptyUserIdAndStaysQuiet) {
  for (auto [gender, wire] : {std::pair{std::optional<UserSettings::Gender>{}, "NONE"},
                              std::pair{std::optional{UserSettings::Gender::female}, "FEMALE"}}) {
    const auto tracker =
        BrelumCore::make(kAppID, "s", "3.1.4", profile(gender), true)->eventTracker();
    EXPECT_EQ(tracker->user(), (EventTracker::Data::User{"", "user-1", "Ada", wire}));
    EXPECT_EQ(tracker->appId(), kAppID);
    EXPECT_EQ(tracker->sdkVersion(), "3.1.4");
    EXPECT_FALSE(tracker->verbose());
    EXPECT_EQ(tracker->extraURL(), std::nullopt);
  }
  const auto anonymous = BrelumCore::make(kAppID, kAppSecret, "1", nullptr, false);
  EXPECT_EQ(anonymous->eventTracker()->user(), (EventTracker::Data::User{"", "", "", "NONE"}));
}

}  // namespace
