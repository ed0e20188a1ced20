#include "Classes/BrelumCore.h"

#include <gtest/gtest.h>

#include <any>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
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

namespace {

constexpr const char* kAppID = "demo-app";
constexpr const char* kAppSecret = "demo-secret";
constexpr const char* kLogoDescriptionPath = "/v1/app/resource/app-logo/1700000000";
constexpr const char* kLogoImagePath = "/assets/logo/1700000000.png";
constexpr const char* kSharingMessage = "Shop with me on Brelum!";

std::shared_ptr<UserSettings> profile(std::optional<UserSettings::Gender> gender = std::nullopt) {
  return UserSettings::make("user-1", "Ada", "EUR", "ada@example.com", std::nullopt, std::nullopt,
                            gender);
}

std::shared_ptr<BrelumCore> makeCore(bool verbose = false) {
  return BrelumCore::make(kAppID, kAppSecret, "1.0.0", profile(), verbose);
}

std::optional<std::vector<std::uint8_t>> cachedLogo(
    const std::string& key = brelum::BrelumCoreAppLogoNotification()) {
  return platform::UserDefaults::standard()->dataForKey(key);
}

std::shared_ptr<platform::Image> image(int width) {
  return platform::Image::make(width, 1, std::vector<std::uint8_t>(4 * width, 200));
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

std::string verifiedDocument(std::string_view socketEndpoint) {
  std::string document = R"({"data":{"api_endpoint":"https://api.brelum.io/","c_token":"t",)";
  if (!socketEndpoint.empty())
    document += R"("socket_endpoint":")" + std::string(socketEndpoint) + "\",";
  return document + R"("app_id":"demo-app"}})";
}

// Opens the facade's internal settings fetch, so a test can wait for the fetch's end.
class TestableCore : public BrelumCore {
 public:
  static std::shared_ptr<TestableCore> make() {
    return std::shared_ptr<TestableCore>(new TestableCore());
  }
  void fetchSettings() {
    awaitCompletion<bool>([&](auto done) { getClientTrackerURL([done] { done(true); }); });
  }

 private:
  TestableCore() : BrelumCore(kAppID, kAppSecret, "1.0.0", profile(), false) {}
};

void sendAndWait(BrelumCore& core, EventTracker::Event event) {
  awaitCompletion<bool>(
      [&](auto done) { core.eventTracker()->send(std::move(event), [done] { done(true); }); });
}

class BrelumCoreTest : public testsupport::BackendTest {
 protected:
  static void SetUpTestSuite() {
    // The standard defaults fix their file on first use: point them into this run's folder
    // (a child process started by a test inherits its parent's).
    if (std::getenv("BRELUM_USER_DEFAULTS_PATH")) return;
    std::filesystem::create_directories(folder());
    ::setenv("BRELUM_USER_DEFAULTS_PATH", (folder() / "UserDefaults.json").c_str(), 1);
  }

  static void TearDownTestSuite() {
    if (testsupport::isChildProcess()) return;
    std::error_code ignored;
    std::filesystem::remove_all(folder(), ignored);
  }

  static const std::filesystem::path& folder() {
    static const auto path = std::filesystem::temp_directory_path() /
                             ("brelum-facade-tests-" + std::to_string(::getpid()));
    return path;
  }

  void SetUp() override {
    BackendTest::SetUp();
    brelum::setBrelumCoreAppLogoNotification("BrelumCoreAppLogoNotification");
    // Each test starts without a cached logo; a child process works on its parent's cache.
    if (!testsupport::isChildProcess()) {
      (void)platform::UserDefaults::standard()->removeObject(
          brelum::BrelumCoreAppLogoNotification());
    }
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

// Also: the socket manager is made on the first read after a verification, then kept.
TEST_F(BrelumCoreTest, LoginFailsAtOnceWhenUnverifiedOrWithoutAProfile) {
  auto core = makeCore();
  std::optional<bool> unverified, withoutProfile;
  core->login(profile(), [&](bool ok) { unverified = ok; });
  EXPECT_EQ(unverified, false);
  // A first verification without usable data leaves the facade unverified.
  backend().failWith("/v1/app/verify", 200, verifiedDocument(""));
  EXPECT_EQ(validate(core), false);
  EXPECT_EQ(login(core), false);
  EXPECT_FALSE(core->apiManager());
  EXPECT_FALSE(core->socketManager());
  EXPECT_FALSE(core->_socketManager());  // a read before verification stores nothing
  backend().reset();
  EXPECT_EQ(validate(core), true);
  core->login(nullptr, [&](bool ok) { withoutProfile = ok; });
  EXPECT_EQ(withoutProfile, false);
  core->setVerbose(true);
  const auto socket = core->socketManager();
  ASSERT_TRUE(socket);
  EXPECT_TRUE(socket->verbose());
  awaitQuiet(kLogoImagePath);
  backend().failWith("/v1/app/verify", 200, verifiedDocument("https://elsewhere.brelum.io/"));
  EXPECT_EQ(validate(core), true);
  EXPECT_EQ(core->socketManager(), socket);
  core->set_socketManager(nullptr);
  EXPECT_NE(core->socketManager(), socket);  // the host cleared it: made anew
  awaitQuiet();
  EXPECT_EQ(received("/v1/sdk/user/login"), 0u);
}

struct ModeCase {
  BrelumCore::Mode mode;
  const char* console;
  const char* imagePath;  // where the logo description points
};

class BrelumCoreMode : public BrelumCoreTest, public ::testing::WithParamInterface<ModeCase> {};

// The stand-in refuses a verification without the app's id, secret and product line, and the
// resource calls without the client token, so a wrong request fails here.
TEST_P(BrelumCoreMode, VerifiesAndLoadsAndCachesTheLogoThroughTheModesConsole) {
  const auto& [mode, console, imagePath] = GetParam();
  backend().failWith(
      kLogoDescriptionPath, 200,
      R"({"data":{"Loading_Logo":"https://console.brelum.io)" + std::string(imagePath) + "\"}}");
  auto core = makeCore();
  core->setMode(mode);
  LogoObserver observer;
  EXPECT_EQ(validate(core), true);
  ASSERT_TRUE(observer.await(1));
  for (const auto* path : {"/v1/app/verify", "/v1/app/resource/screens", kLogoDescriptionPath}) {
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

// Servers send the logo as a plain byte stream as often as with an image type.
INSTANTIATE_TEST_SUITE_P(
    Modes, BrelumCoreMode,
    ::testing::Values(ModeCase{BrelumCore::Mode::production, "console.brelum.io", kLogoImagePath},
                      ModeCase{BrelumCore::Mode::development, "console-dev.brelum.io",
                               "/assets/logo/octet-stream.png"}));

struct FailedVerification {
  const char* name;
  int status;
  std::string body;
};

class BrelumCoreFailedVerification : public BrelumCoreTest,
                                     public ::testing::WithParamInterface<FailedVerification> {};

TEST_P(BrelumCoreFailedVerification, AnswersFalseLoadsNothingAndKeepsTheEarlierData) {
  auto core = makeCore();
  LogoObserver observer;
  EXPECT_EQ(validate(core), true);
  ASSERT_TRUE(observer.await(1));
  const auto socket = core->socketManager();
  backend().reset();

  backend().failWith("/v1/app/verify", GetParam().status, GetParam().body);
  EXPECT_EQ(validate(core), false);
  awaitQuiet();
  EXPECT_EQ(received("/v1/app/resource/screens"), 0u);
  // Still verified as before: login goes to the earlier API endpoint with the earlier token.
  EXPECT_EQ(login(core), true);
  EXPECT_EQ(backend().requests("/v1/sdk/user/login").at(0).header("host"), "api.brelum.io");
  EXPECT_EQ(core->socketManager(), socket);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, BrelumCoreFailedVerification,
    ::testing::Values(FailedVerification{"WrongSecret", 401,
                                         R"({"error":{"code":401,"message":"no"}})"},
                      FailedVerification{"NoSocketEndpoint", 200, verifiedDocument("")},
                      FailedVerification{"NotJSON", 200, "not json"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TimestampCase {
  const char* createdAt;
  const char* logoPath;  // empty: no logo request at all
};

class BrelumCoreLogoTimestamp : public BrelumCoreTest,
                                public ::testing::WithParamInterface<TimestampCase> {};

TEST_P(BrelumCoreLogoTimestamp, TheFirstExactAppLogoScreenGivesTheTruncatedTimestamp) {
  backend().failWith("/v1/app/resource/screens", 200,
                     R"({"data":{"screens":[{"resource_type":"app_logo","created_at":1},)"
                     R"({"resource_type":"APP_LOGO","created_at":)" +
                         std::string(GetParam().createdAt) +
                         R"(},{"resource_type":"APP_LOGO","created_at":99}]}})");
  auto core = makeCore();
  EXPECT_EQ(validate(core), true);
  const std::string expected = GetParam().logoPath;
  awaitQuiet(expected.empty() ? "/v1/app/resource/screens" : expected);
  std::vector<std::string> logoPaths;
  for (const auto& request : backend().requests()) {
    if (request.path.starts_with("/v1/app/resource/app-logo/")) logoPaths.push_back(request.path);
  }
  EXPECT_EQ(logoPaths,
            expected.empty() ? std::vector<std::string>{} : std::vector<std::string>{expected});
}

INSTANTIATE_TEST_SUITE_P(Timestamps, BrelumCoreLogoTimestamp,
                         ::testing::Values(TimestampCase{"12.9", "/v1/app/resource/app-logo/12"},
                                           TimestampCase{"-12.9", "/v1/app/resource/app-logo/-12"},
                                           TimestampCase{"-0.5", "/v1/app/resource/app-logo/0"},
                                           TimestampCase{"1e300", ""}));

TEST_F(BrelumCoreTest, AReleasedFacadeStillCompletesButStoresNothing) {
  backend().delay("/v1/app/verify", 300ms);
  auto outcome = awaitCompletion<bool>([&](auto done) { makeCore()->validate(done); });
  EXPECT_EQ(outcome, true);
  awaitQuiet();
  EXPECT_EQ(received("/v1/app/resource/screens"), 0u);
}

// Only a failed exchange prints, and only for a verbose facade.
TEST_F(BrelumCoreTest, FailureLinesAppearOnlyWhenVerbose) {
  for (bool verbose : {false, true}) {
    auto core = makeCore(verbose);
    EXPECT_EQ(validate(core), true);
    backend().failWith("/v1/app/verify", 200, "not json");
    backend().failWith("/v1/sdk/user/login", 204);
    platform::ConsoleCapture console;
    EXPECT_EQ(validate(core), false);
    EXPECT_EQ(login(core), false);
    const std::vector<std::string> lines{"Verify request error", "Login request error"};
    EXPECT_EQ(console.lines(), verbose ? lines : std::vector<std::string>{});
    backend().reset();
  }
}

// The login's settings fetch sets the tracker's customer URL, yet events still go to the queue.
TEST_F(BrelumCoreTest, LoginStoresTheTokenAndOnlyUsableSettingsAreTaken) {
  auto core = TestableCore::make();
  core->fetchSettings();  // before login: nothing to fetch with
  EXPECT_EQ(received("/v1/settings/mobile"), 0u);
  EXPECT_EQ(validate(core), true);
  EXPECT_FALSE(core->apiManager());
  EXPECT_EQ(login(core), true);
  ASSERT_TRUE(core->apiManager());
  EXPECT_EQ(core->apiManager()->accessToken, "access-token-5678");
  EXPECT_EQ(core->apiManager()->baseURL.absoluteString(), "https://api.brelum.io/");
  const auto logins = backend().requests("/v1/sdk/user/login");
  ASSERT_EQ(logins.size(), 1u);
  EXPECT_EQ(logins[0].header("c-token"), "c-token-1234");
  EXPECT_EQ(nlohmann::json::parse(logins[0].body), profile()->apiParams());
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
  awaitQuiet();
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
  const auto logo = image(2);
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
    const auto core = BrelumCore::make(kAppID, kAppSecret, "3.1.4", profile(gender), true);
    const auto& tracker = core->eventTracker();
    ASSERT_TRUE(tracker);
    EXPECT_EQ(tracker->user(), (EventTracker::Data::User{"", "user-1", "Ada", wire}));
    EXPECT_EQ(tracker->appId(), kAppID);
    EXPECT_EQ(tracker->sdkVersion(), "3.1.4");
    EXPECT_FALSE(tracker->verbose());
    EXPECT_EQ(tracker->extraURL(), std::nullopt);
  }
  const auto anonymous = BrelumCore::make(kAppID, kAppSecret, "1", nullptr, false);
  EXPECT_EQ(anonymous->eventTracker()->user(), (EventTracker::Data::User{"", "", "", "NONE"}));
}

TEST_F(BrelumCoreTest, FailedDeliveriesPrintOnlyForAFacadeMadeVerbose) {
  backend().failWith(std::string(testsupport::kEventQueuePath), 500);
  const auto quiet = makeCore(false);
  const auto loud = makeCore(true);
  loud->setVerbose(false);  // too late: the tracker's logger was made with the flag
  platform::ConsoleCapture console;
  sendAndWait(*quiet, EventTracker::Event::closeSDK("show-1"));
  sendAndWait(*loud, EventTracker::Event::closeSDK("show-1"));
  std::vector<std::string> lines;
  for (const auto& line : console.lines()) {
    if (line.starts_with(EventTracker::kFailureMarker)) lines.push_back(line);
  }
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].ends_with(" got an 500 response.")) << lines[0];
}

TEST(UserSettingsTest, LoginParametersCarryOnlyWhatIsPresent) {
  EXPECT_EQ(UserSettings::make("u", "", "", std::nullopt, std::nullopt, std::nullopt, std::nullopt)
                ->apiParams(),
            (nlohmann::json{{"client_user_id", "u"}, {"name", ""}, {"currency", ""}}));
  EXPECT_EQ(
      UserSettings::make("u", "n", "c", "e", "m", "p", UserSettings::Gender::female)->apiParams(),
      (nlohmann::json{{"client_user_id", "u"},
                      {"name", "n"},
                      {"currency", "c"},
                      {"email", "e"},
                      {"mobile_number", "m"},
                      {"profile_url", "p"},
                      {"gender", "FEMALE"}}));
}

}  // namespace
