#include "Classes/BrelumCore.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "Tests/Support/MainLoopPump.h"
#include "Tests/Support/StandInQueue.h"

extern char** environ;

using namespace std::chrono_literals;
using brelum::BrelumCore;
using brelum::UserSettings;
using testsupport::runMainLoopUntil;

namespace {

constexpr const char* kAppID = "demo-app";
constexpr const char* kAppSecret = "demo-secret";
constexpr const char* kLogoDescriptionPath = "/v1/app/resource/app-logo/1700000000";
constexpr const char* kLogoImagePath = "/assets/logo/1700000000.png";
constexpr const char* kChildRoleVariable = "BRELUM_FACADE_TEST_CHILD";

std::shared_ptr<UserSettings> profile(std::optional<UserSettings::Gender> gender = std::nullopt) {
  return UserSettings::make("user-1", "Ada", "EUR", "ada@example.com", std::nullopt, std::nullopt,
                            gender);
}

std::shared_ptr<BrelumCore> makeCore(bool verbose = false, std::string secret = kAppSecret) {
  return BrelumCore::make(kAppID, std::move(secret), "1.0.0", profile(), verbose);
}

// Counts logo notifications and keeps the last one's image, if any.
class LogoObserver {
 public:
  LogoObserver() {
    token_ = platform::NotificationCenter::defaultCenter()->addObserver(
        brelum::BrelumCoreAppLogoNotification(), nullptr, nullptr,
        [this](const platform::Notification& note) {
          ++posts;
          const auto found = note.userInfo.find("image");
          lastImage = found == note.userInfo.end()
                          ? nullptr
                          : std::any_cast<std::shared_ptr<platform::Image>>(found->second);
        });
  }
  ~LogoObserver() { platform::NotificationCenter::defaultCenter()->removeObserver(token_); }
  LogoObserver(const LogoObserver&) = delete;
  LogoObserver& operator=(const LogoObserver&) = delete;

  int posts = 0;
  std::shared_ptr<platform::Image> lastImage;

 private:
  platform::NotificationCenter::ObserverToken token_;
};

std::optional<bool> validate(const std::shared_ptr<BrelumCore>& core) {
  std::optional<bool> outcome;
  core->validate([&](bool ok) { outcome = ok; });
  EXPECT_TRUE(runMainLoopUntil([&] { return outcome.has_value(); }, 20s));
  return outcome;
}

std::optional<bool> login(const std::shared_ptr<BrelumCore>& core,
                          std::shared_ptr<UserSettings> settings = profile()) {
  std::optional<bool> outcome;
  core->login(settings, [&](bool ok) { outcome = ok; });
  EXPECT_TRUE(runMainLoopUntil([&] { return outcome.has_value(); }, 20s));
  return outcome;
}

// Opens the facade's internal settings fetch, so a test can wait for its end.
class TestableCore : public BrelumCore {
 public:
  static std::shared_ptr<TestableCore> make() {
    std::shared_ptr<TestableCore> core(new TestableCore());
    core->loadAppLogoFromCache();
    return core;
  }

  void fetchSettings() {
    bool done = false;
    getClientTrackerURL([&] { done = true; });
    EXPECT_TRUE(runMainLoopUntil([&] { return done; }, 20s));
  }

 private:
  TestableCore() : BrelumCore(kAppID, kAppSecret, "1.0.0", profile(), false) {}
};

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
    if (std::getenv(kChildRoleVariable)) return;
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
    // Each test starts without a cached logo; a child process works on its parent's cache.
    if (!std::getenv(kChildRoleVariable)) {
      (void)platform::UserDefaults::standard()->removeObject(
          brelum::BrelumCoreAppLogoNotification());
    }
  }

  [[nodiscard]] std::size_t received(std::string_view path) const {
    return backend().requests(path).size();
  }

  // Pumps until the back end has answered `count` requests on `path` and the answers have
  // been handled.
  void awaitRequests(std::string_view path, std::size_t count) {
    EXPECT_TRUE(runMainLoopUntil([&] { return received(path) >= count && backend().idle(); }, 20s))
        << path;
    testsupport::drainMainQueue();
  }

  void awaitLogo(LogoObserver& observer, int posts) {
    EXPECT_TRUE(runMainLoopUntil([&] { return observer.posts >= posts; }, 20s));
  }
};

TEST_F(BrelumCoreTest, LoginBeforeVerificationFailsAtOnceAndSendsNothing) {
  auto core = makeCore();
  bool called = false;
  core->login(profile(), [&](bool ok) {
    called = true;
    EXPECT_FALSE(ok);
  });
  EXPECT_TRUE(called);
  testsupport::drainMainQueue();
  EXPECT_EQ(received("/v1/sdk/user/login"), 0u);
  EXPECT_FALSE(core->apiManager());
}

TEST_F(BrelumCoreTest, LoginWithoutAProfileFailsAtOnceAndSendsNothing) {
  auto core = makeCore();
  EXPECT_EQ(validate(core), true);
  std::optional<bool> outcome;
  core->login(nullptr, [&](bool ok) { outcome = ok; });
  EXPECT_EQ(outcome, false);
  testsupport::drainMainQueue();
  EXPECT_EQ(received("/v1/sdk/user/login"), 0u);
}

TEST_F(BrelumCoreTest, VerificationWithoutASocketEndpointFailsQuietlyAndLoadsNothing) {
  backend().failWith("/v1/app/verify", 200,
                     R"({"data":{"api_endpoint":"https://api.brelum.io/","c_token":"t",)"
                     R"("app_id":"demo-app"}})");
  auto core = makeCore(true);
  platform::ConsoleCapture console;
  EXPECT_EQ(validate(core), false);
  testsupport::drainMainQueue();
  EXPECT_TRUE(console.lines().empty());
  EXPECT_EQ(received("/v1/app/resource/screens"), 0u);
  EXPECT_EQ(login(core), false);  // still not verified
}

TEST_F(BrelumCoreTest, EveryVerificationLoadsResourcesLogoDescriptionAndImageAgain) {
  auto core = makeCore();
  LogoObserver observer;
  EXPECT_EQ(validate(core), true);
  awaitLogo(observer, 1);
  EXPECT_EQ(validate(core), true);
  awaitLogo(observer, 2);
  EXPECT_EQ(received("/v1/app/resource/screens"), 2u);
  EXPECT_EQ(received(kLogoDescriptionPath), 2u);
  EXPECT_EQ(received(kLogoImagePath), 2u);
  // The logo description and image go without the client token where none is due.
  EXPECT_EQ(backend().requests(kLogoDescriptionPath)[0].header("c-token"), "c-token-1234");
  EXPECT_FALSE(backend().requests(kLogoImagePath)[0].header("c-token"));
  ASSERT_TRUE(core->appLogo());
  EXPECT_EQ(core->appLogo()->width(), 32);
  EXPECT_EQ(observer.lastImage, core->appLogo());
}

TEST_F(BrelumCoreTest, TheFirstExactAppLogoScreenGivesTheTruncatedTimestamp) {
  backend().failWith("/v1/app/resource/screens", 200,
                     R"({"data":{"screens":[{"resource_type":"app_logo","created_at":1},)"
                     R"({"resource_type":"APP_LOGO","created_at":12.9},)"
                     R"({"resource_type":"APP_LOGO","created_at":99}]}})");
  auto core = makeCore();
  EXPECT_EQ(validate(core), true);
  awaitRequests("/v1/app/resource/app-logo/12", 1);
  EXPECT_EQ(received("/v1/app/resource/app-logo/1"), 0u);
  EXPECT_EQ(received("/v1/app/resource/app-logo/99"), 0u);
}

TEST_F(BrelumCoreTest, ALogoTimestampOutsideTheIntegerRangeSendsNothing) {
  for (std::string createdAt : {"1e300", "-1e300"}) {
    backend().reset();
    backend().failWith(
        "/v1/app/resource/screens", 200,
        R"({"data":{"screens":[{"resource_type":"APP_LOGO","created_at":)" + createdAt + "}]}}");
    auto core = makeCore();
    EXPECT_EQ(validate(core), true);
    awaitRequests("/v1/app/resource/screens", 1);
    EXPECT_TRUE(runMainLoopUntil([&] { return backend().idle(); }, 5s));
    testsupport::drainMainQueue();
    for (const auto& request : backend().requests()) {
      EXPECT_EQ(request.path.find("/v1/app/resource/app-logo"), std::string::npos) << request.path;
    }
  }
}

TEST_F(BrelumCoreTest, AReleasedFacadeStillCompletesButStoresNothing) {
  backend().delay("/v1/app/verify", 300ms);
  std::optional<bool> outcome;
  {
    auto core = makeCore();
    core->validate([&](bool ok) { outcome = ok; });
  }
  ASSERT_TRUE(runMainLoopUntil([&] { return outcome.has_value(); }, 20s));
  EXPECT_TRUE(*outcome);
  EXPECT_TRUE(runMainLoopUntil([&] { return backend().idle(); }, 5s));
  testsupport::drainMainQueue();
  EXPECT_EQ(received("/v1/app/resource/screens"), 0u);
}

TEST_F(BrelumCoreTest, FailureLinesAppearOnlyWhenVerbose) {
  for (bool verbose : {false, true}) {
    backend().reset();
    backend().failWith("/v1/app/verify", 200, "not json");
    auto core = makeCore(verbose);
    platform::ConsoleCapture console;
    EXPECT_EQ(validate(core), false);
    EXPECT_EQ(console.lines(), verbose ? std::vector<std::string>{"Verify request error"}
                                       : std::vector<std::string>{});
  }
  backend().reset();
  auto core = makeCore(true);
  EXPECT_EQ(validate(core), true);
  backend().failWith("/v1/sdk/user/login", 204);
  platform::ConsoleCapture console;
  EXPECT_EQ(login(core), false);
  EXPECT_EQ(console.lines(), std::vector<std::string>{"Login request error"});
}

TEST_F(BrelumCoreTest, LoginStoresTheTokenAndFetchesSettings) {
  LogoObserver logo;
  auto core = makeCore();
  EXPECT_EQ(validate(core), true);
  EXPECT_FALSE(core->apiManager());
  EXPECT_EQ(login(core, profile(UserSettings::Gender::none)), true);
  ASSERT_TRUE(core->apiManager());
  EXPECT_EQ(core->apiManager()->accessToken, "access-token-5678");
  EXPECT_EQ(core->apiManager()->baseURL.absoluteString(), "https://api.brelum.io/");

  const auto logins = backend().requests("/v1/sdk/user/login");
  ASSERT_EQ(logins.size(), 1u);
  EXPECT_EQ(logins[0].header("c-token"), "c-token-1234");
  EXPECT_EQ(nlohmann::json::parse(logins[0].body), (nlohmann::json{{"client_user_id", "user-1"},
                                                                   {"name", "Ada"},
                                                                   {"currency", "EUR"},
                                                                   {"email", "ada@example.com"},
                                                                   {"gender", "NONE"}}));
  EXPECT_TRUE(runMainLoopUntil([&] { return core->sharingMessage().has_value(); }, 20s));
  EXPECT_EQ(core->sharingMessage(), "Shop with me on Brelum!");
  EXPECT_EQ(backend().requests("/v1/settings/mobile")[0].header("access-token"),
            "access-token-5678");
  // The verification's logo download ends before the process does: the image downloader's
  // content-type table is destroyed at exit while a decode may still read it.
  awaitLogo(logo, 1);
}

TEST_F(BrelumCoreTest, SettingsWithoutAUsableTrackingURLLeaveTheSharingMessage) {
  auto core = TestableCore::make();
  core->fetchSettings();  // before login: nothing to fetch with
  EXPECT_EQ(received("/v1/settings/mobile"), 0u);

  EXPECT_EQ(validate(core), true);
  EXPECT_EQ(login(core), true);
  core->fetchSettings();
  ASSERT_EQ(core->sharingMessage(), "Shop with me on Brelum!");

  backend().failWith("/v1/settings/mobile", 200,
                     R"({"data":{"client_event_tracking_url":"not a url","sharing_message":"x"}})");
  core->fetchSettings();
  EXPECT_EQ(core->sharingMessage(), "Shop with me on Brelum!");

  backend().failWith("/v1/settings/mobile", 500, "down");
  core->fetchSettings();
  EXPECT_EQ(core->sharingMessage(), "Shop with me on Brelum!");

  backend().failWith("/v1/settings/mobile", 200,
                     R"({"data":{"client_event_tracking_url":"https://api.brelum.io/t"}})");
  core->fetchSettings();
  EXPECT_FALSE(core->sharingMessage());
}

TEST_F(BrelumCoreTest, AFailedImageClearsTheLogoButKeepsTheCachedOne) {
  LogoObserver observer;
  auto core = makeCore();
  EXPECT_EQ(validate(core), true);
  awaitLogo(observer, 1);
  ASSERT_TRUE(observer.lastImage);
  const auto cached =
      platform::UserDefaults::standard()->dataForKey(brelum::BrelumCoreAppLogoNotification());
  ASSERT_TRUE(cached);

  backend().failWith(kLogoImagePath, 404, "gone");
  EXPECT_EQ(validate(core), true);
  awaitLogo(observer, 2);
  EXPECT_FALSE(observer.lastImage);
  EXPECT_FALSE(core->appLogo());
  EXPECT_EQ(platform::UserDefaults::standard()->dataForKey(brelum::BrelumCoreAppLogoNotification()),
            cached);

  // The next facade brings the cached logo back, announcing it from its initialiser.
  auto next = makeCore();
  EXPECT_EQ(observer.posts, 3);
  ASSERT_TRUE(next->appLogo());
  EXPECT_EQ(next->appLogo()->width(), 32);
}

TEST_F(BrelumCoreTest, AHostAssignmentPostsButOnlyCacheAppLogoWrites) {
  LogoObserver observer;
  auto core = makeCore();
  EXPECT_EQ(observer.posts, 0);  // nothing cached yet
  auto image = platform::Image::make(2, 2, std::vector<std::uint8_t>(16, 200));
  core->setAppLogo(image);
  EXPECT_EQ(observer.posts, 1);
  EXPECT_EQ(observer.lastImage, image);
  const auto key = brelum::BrelumCoreAppLogoNotification();
  EXPECT_FALSE(platform::UserDefaults::standard()->dataForKey(key));
  core->cacheAppLogo();
  EXPECT_TRUE(platform::UserDefaults::standard()->dataForKey(key));
  core->setAppLogo(nullptr);
  EXPECT_EQ(observer.posts, 2);
  EXPECT_FALSE(observer.lastImage);
}

TEST_F(BrelumCoreTest, UndecodableCacheDataPostsNothing) {
  (void)platform::UserDefaults::standard()->setData(brelum::BrelumCoreAppLogoNotification(),
                                                    {1, 2, 3});
  LogoObserver observer;
  auto core = makeCore();
  EXPECT_EQ(observer.posts, 0);
  EXPECT_FALSE(core->appLogo());
}

// Run as separate processes by the test below: one caches a logo, the next finds it.
TEST_F(BrelumCoreTest, ChildProcessCachesALogo) {
  if (!std::getenv(kChildRoleVariable)) GTEST_SKIP() << "runs only as the child of a test";
  auto core = makeCore();
  core->setAppLogo(platform::Image::make(3, 1, std::vector<std::uint8_t>(12, 90)));
  core->cacheAppLogo();
}

TEST_F(BrelumCoreTest, ChildProcessFindsTheCachedLogo) {
  if (!std::getenv(kChildRoleVariable)) GTEST_SKIP() << "runs only as the child of a test";
  auto core = makeCore();
  ASSERT_TRUE(core->appLogo());
  EXPECT_EQ(core->appLogo()->width(), 3);
  EXPECT_EQ(core->appLogo()->height(), 1);
}

// Runs this test program again with only `test` selected; answers whether it passed.
bool passesInAChildProcess(const std::string& test) {
  std::vector<std::string> arguments{"/proc/self/exe", "--gtest_filter=" + test};
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  ::setenv(kChildRoleVariable, "1", 1);
  pid_t child = 0;
  const int spawned =
      ::posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv.data(), environ);
  ::unsetenv(kChildRoleVariable);
  int status = 0;
  return spawned == 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

TEST_F(BrelumCoreTest, TheCachedLogoSurvivesIntoAnotherProcess) {
  if (std::getenv(kChildRoleVariable)) GTEST_SKIP();
  ASSERT_TRUE(passesInAChildProcess("BrelumCoreTest.ChildProcessCachesALogo"));
  EXPECT_TRUE(passesInAChildProcess("BrelumCoreTest.ChildProcessFindsTheCachedLogo"));
}

// --- Event tracking wiring ---

using brelum::EventTracker;

// Counts the gateways it makes for a factory it stands in front of.
class CountingGatewayFactory : public brelum::EventTrackingGatewayFactory {
 public:
  explicit CountingGatewayFactory(std::shared_ptr<brelum::EventTrackingGatewayFactory> inner)
      : inner_(std::move(inner)) {}
  std::shared_ptr<brelum::EventTrackingGateway> make(
      const platform::URL& baseURL, const std::optional<platform::URL>& extraURL,
      const std::string& appId, const std::string& sdkVersion,
      const EventTracker::Data::Device& device) override {
    ++made;
    return inner_->make(baseURL, extraURL, appId, sdkVersion, device);
  }
  int made = 0;

 private:
  std::shared_ptr<brelum::EventTrackingGatewayFactory> inner_;
};

void sendAndWait(BrelumCore& core, EventTracker::Event event) {
  bool done = false;
  core.eventTracker()->send(std::move(event), [&] { done = true; });
  EXPECT_TRUE(runMainLoopUntil([&] { return done; }, 20s));
}

std::vector<std::string> failureLines(const platform::ConsoleCapture& console) {
  std::vector<std::string> lines;
  for (const auto& line : console.lines()) {
    if (line.starts_with(EventTracker::kFailureMarker)) lines.push_back(line);
  }
  return lines;
}

struct TrackerUserCase {
  std::optional<UserSettings::Gender> gender;
  const char* wireGender;
};

class FacadeTrackerUser : public BrelumCoreTest,
                          public ::testing::WithParamInterface<TrackerUserCase> {};

TEST_P(FacadeTrackerUser, ComesFromTheProfileWithAnEmptyUserIdAndTheTrackerQuiet) {
  const auto core = BrelumCore::make(kAppID, kAppSecret, "3.1.4", profile(GetParam().gender), true);
  const auto& tracker = core->eventTracker();
  ASSERT_TRUE(tracker);
  EXPECT_EQ(tracker->user(),
            (EventTracker::Data::User{"", "user-1", "Ada", GetParam().wireGender}));
  EXPECT_EQ(tracker->appId(), kAppID);
  EXPECT_EQ(tracker->sdkVersion(), "3.1.4");
  EXPECT_FALSE(tracker->verbose());
  EXPECT_EQ(tracker->extraURL(), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Genders, FacadeTrackerUser,
                         ::testing::Values(TrackerUserCase{std::nullopt, "NONE"},
                                           TrackerUserCase{UserSettings::Gender::female, "FEMALE"},
                                           TrackerUserCase{UserSettings::Gender::other, "OTHER"}));

TEST_F(BrelumCoreTest, TheCustomerURLReachesTheTrackerButEventsStillGoToTheQueue) {
  LogoObserver logo;
  const auto core = makeCore();
  ASSERT_EQ(validate(core), true);
  ASSERT_EQ(login(core), true);
  ASSERT_TRUE(runMainLoopUntil([&] { return core->eventTracker()->extraURL().has_value(); }, 20s));
  EXPECT_EQ(core->eventTracker()->extraURL()->absoluteString(),
            "https://api.brelum.io/v1/customer/events");
  EXPECT_EQ(core->sharingMessage(), "Shop with me on Brelum!");

  sendAndWait(*core, EventTracker::Event::open_app("entry-1"));
  const auto messages = testsupport::queueMessages(backend());
  ASSERT_EQ(messages.size(), 1u);
  const auto document = nlohmann::json::parse(messages[0].body);
  EXPECT_EQ(document["data"]["app_id"], kAppID);
  EXPECT_EQ(document["data"]["event"]["sdk_version"], "1.0.0");
  EXPECT_EQ(document["data"]["event"]["user"]["client_user_id"], "user-1");
  EXPECT_EQ(received("/v1/customer/events"), 0u);
  // The verification's logo download ends before the process does.
  awaitLogo(logo, 1);
}

TEST_F(BrelumCoreTest, FailedDeliveriesPrintOnlyForAFacadeMadeVerbose) {
  backend().failWith(std::string(testsupport::kEventQueuePath), 500);
  const auto quiet = makeCore(false);
  const auto loud = makeCore(true);
  loud->setVerbose(false);  // too late: the tracker's logger was made with the flag
  platform::ConsoleCapture console;

  sendAndWait(*quiet, EventTracker::Event::closeSDK("show-1"));
  EXPECT_TRUE(failureLines(console).empty());
  sendAndWait(*loud, EventTracker::Event::closeSDK("show-1"));
  const auto lines = failureLines(console);
  ASSERT_EQ(lines.size(), 1u);
  const std::string start =
      "\U0001F534 [Close SDK event]: HTTP Error: " + std::string(EventTracker::kQueueURL) +
      "?Action=SendMessage&MessageBody=%7B%22data%22";
  EXPECT_EQ(lines[0].substr(0, start.size()), start);
  EXPECT_TRUE(lines[0].ends_with(" got an 500 response.")) << lines[0];
}

TEST_F(BrelumCoreTest, AnEarlierFacadesTrackerSendsThroughTheLaterFactoryWithItsOwnLogger) {
  const auto first = makeCore(true);
  const auto firstFactory = EventTracker::eventTrackingGatewayFactory();
  const auto second = makeCore(false);
  const auto secondFactory = EventTracker::eventTrackingGatewayFactory();
  ASSERT_NE(firstFactory, secondFactory);

  auto counting = std::make_shared<CountingGatewayFactory>(secondFactory);
  EventTracker::setEventTrackingGatewayFactory(counting);
  backend().failWith(std::string(testsupport::kEventQueuePath), 503);
  platform::ConsoleCapture console;

  sendAndWait(*first, EventTracker::Event::display_chat("show-1"));
  EXPECT_EQ(counting->made, 1);
  EXPECT_EQ(failureLines(console).size(), 1u);  // the first facade's verbose logger
  sendAndWait(*second, EventTracker::Event::display_chat("show-1"));
  EXPECT_EQ(counting->made, 2);
  EXPECT_EQ(failureLines(console).size(), 1u);  // the second one's is quiet
  EventTracker::setEventTrackingGatewayFactory(secondFactory);
}

TEST_F(BrelumCoreTest, TheSocketIsMadeOnceAfterVerificationAndKept) {
  auto core = makeCore();
  EXPECT_FALSE(core->socketManager());
  EXPECT_FALSE(core->_socketManager());  // a read before verification stores nothing
  EXPECT_EQ(validate(core), true);
  const auto socket = core->socketManager();
  ASSERT_TRUE(socket);
  EXPECT_FALSE(socket->verbose());
  backend().failWith("/v1/app/verify", 200,
                     R"({"data":{"api_endpoint":"https://api.brelum.io/",)"
                     R"("socket_endpoint":"https://elsewhere.brelum.io/","c_token":"t",)"
                     R"("app_id":"demo-app"}})");
  EXPECT_EQ(validate(core), true);
  EXPECT_EQ(core->socketManager(), socket);
  core->set_socketManager(nullptr);
  EXPECT_NE(core->socketManager(), socket);  // the host cleared it: made anew
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
  for (auto gender : {UserSettings::Gender::male, UserSettings::Gender::female,
                      UserSettings::Gender::other, UserSettings::Gender::none}) {
    EXPECT_EQ(brelum::fromRawValue<UserSettings::Gender>(brelum::rawValue(gender)), gender);
  }
  EXPECT_FALSE(brelum::fromRawValue<UserSettings::Gender>("female"));
}

}  // namespace
