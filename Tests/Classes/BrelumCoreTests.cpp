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

std::optional<std::vector<std::uint8_t>> cachedLogo() {
  return platform::UserDefaults::standard()->dataForKey(brelum::BrelumCoreAppLogoNotification());
}

// Counts logo notifications and keeps the last one's image, if any.
class LogoObserver {
 public:
  explicit LogoObserver(const std::string& name = brelum::BrelumCoreAppLogoNotification()) {
    token_ = platform::NotificationCenter::defaultCenter()->addObserver(
        name, nullptr, nullptr, [this](const platform::Notification& note) {
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

  bool await(int count) {
    return runMainLoopUntil([&] { return posts >= count; }, 20s);
  }

  int posts = 0;
  std::shared_ptr<platform::Image> lastImage;

 private:
  platform::NotificationCenter::ObserverToken token_;
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

// Opens the facade's internal settings fetch and mode-dependent console, so a test can wait
// for the fetch's end.
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

  // Pumps until the back end has answered `count` requests on `path` (and everything else in
  // flight), then until the answers have been handled.
  void awaitAnswered(std::string_view path, std::size_t count = 1) {
    EXPECT_TRUE(runMainLoopUntil([&] { return received(path) >= count && backend().idle(); }, 20s))
        << path;
    testsupport::drainMainQueue();
  }

  // Pumps until nothing is in flight and what was answered has been handled.
  void awaitQuiet() {
    EXPECT_TRUE(runMainLoopUntil([&] { return backend().idle(); }, 20s));
    testsupport::drainMainQueue();
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

struct ModeCase {
  BrelumCore::Mode mode;
  const char* console;
};

class BrelumCoreMode : public BrelumCoreTest, public ::testing::WithParamInterface<ModeCase> {};

// The stand-in refuses a verification without the app's id, secret and product line, and the
// resource calls without the client token, so a wrong request fails here.
TEST_P(BrelumCoreMode, VerifiesAndLoadsTheLogoThroughTheModesConsole) {
  auto core = makeCore();
  core->setMode(GetParam().mode);
  LogoObserver observer;
  EXPECT_EQ(validate(core), true);
  ASSERT_TRUE(observer.await(1));
  for (const auto* path : {"/v1/app/verify", "/v1/app/resource/screens", kLogoDescriptionPath}) {
    const auto requests = backend().requests(path);
    ASSERT_EQ(requests.size(), 1u) << path;
    EXPECT_EQ(requests[0].header("host"), GetParam().console) << path;
    EXPECT_EQ(requests[0].sni, GetParam().console) << path;
  }
  EXPECT_EQ(nlohmann::json::parse(backend().requests("/v1/app/verify")[0].body),
            (nlohmann::json{{"id", kAppID}, {"app_secret", kAppSecret}, {"mode", "COMMERCE"}}));
  // The image comes from wherever the description points, without the client token.
  const auto image = backend().requests(kLogoImagePath);
  ASSERT_EQ(image.size(), 1u);
  EXPECT_FALSE(image[0].header("c-token"));
  ASSERT_TRUE(core->appLogo());
  EXPECT_EQ(core->appLogo()->width(), 32);
  EXPECT_EQ(observer.lastImage, core->appLogo());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, BrelumCoreMode,
    ::testing::Values(ModeCase{BrelumCore::Mode::production, "console.brelum.io"},
                      ModeCase{BrelumCore::Mode::development, "console-dev.brelum.io"}));

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
                      FailedVerification{"NotJSON", 200, "not json"},
                      FailedVerification{"ServerError", 500, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BrelumCoreTest, AFirstVerificationWithoutDataLeavesTheFacadeUnverified) {
  auto core = makeCore();
  backend().failWith("/v1/app/verify", 200, verifiedDocument(""));
  EXPECT_EQ(validate(core), false);
  EXPECT_EQ(login(core), false);
  EXPECT_FALSE(core->socketManager());
}

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
  awaitAnswered(expected.empty() ? "/v1/app/resource/screens" : expected);
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
  testsupport::drainMainQueue();
  EXPECT_EQ(received("/v1/app/resource/screens"), 0u);
}

TEST_F(BrelumCoreTest, FailureLinesAppearOnlyWhenVerbose) {
  for (bool verbose : {false, true}) {
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
  EXPECT_EQ(core->sharingMessage(), kSharingMessage);
  EXPECT_EQ(core->eventTracker()->extraURL()->absoluteString(),
            "https://api.brelum.io/v1/customer/events");
  awaitQuiet();
}

TEST_F(BrelumCoreTest, SettingsWithoutAUsableTrackingURLLeaveTheSharingMessage) {
  auto core = TestableCore::make();
  core->fetchSettings();  // before login: nothing to fetch with
  EXPECT_EQ(received("/v1/settings/mobile"), 0u);

  EXPECT_EQ(validate(core), true);
  EXPECT_EQ(login(core), true);
  core->fetchSettings();
  ASSERT_EQ(core->sharingMessage(), kSharingMessage);

  backend().failWith("/v1/settings/mobile", 200,
                     R"({"data":{"client_event_tracking_url":"not a url","sharing_message":"x"}})");
  core->fetchSettings();
  EXPECT_EQ(core->sharingMessage(), kSharingMessage);

  backend().failWith("/v1/settings/mobile", 500, "down");
  core->fetchSettings();
  EXPECT_EQ(core->sharingMessage(), kSharingMessage);

  backend().failWith("/v1/settings/mobile", 200,
                     R"({"data":{"client_event_tracking_url":"https://api.brelum.io/t"}})");
  core->fetchSettings();
  EXPECT_FALSE(core->sharingMessage());
  EXPECT_EQ(core->eventTracker()->extraURL()->absoluteString(), "https://api.brelum.io/t");
  awaitQuiet();
}

// Servers send the logo as a plain byte stream as often as with an image type.
TEST_F(BrelumCoreTest, ALogoSentAsAByteStreamIsTakenAndCached) {
  backend().failWith(kLogoDescriptionPath, 200,
                     R"({"data":{"Loading_Logo":"https://console.brelum.io/assets/logo/)"
                     R"(plain.png?as=octet-stream"}})");
  auto core = makeCore();
  LogoObserver observer;
  EXPECT_EQ(validate(core), true);
  ASSERT_TRUE(observer.await(1));
  ASSERT_TRUE(observer.lastImage);
  EXPECT_EQ(observer.lastImage->width(), 32);
  EXPECT_TRUE(cachedLogo());
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

TEST_F(BrelumCoreTest, AHostAssignmentPostsButOnlyCacheAppLogoWrites) {
  LogoObserver observer;
  auto core = makeCore();
  EXPECT_EQ(observer.posts, 0);  // nothing cached yet
  auto image = platform::Image::make(2, 2, std::vector<std::uint8_t>(16, 200));
  core->setAppLogo(image);
  EXPECT_EQ(observer.posts, 1);
  EXPECT_EQ(observer.lastImage, image);
  EXPECT_FALSE(cachedLogo());
  core->cacheAppLogo();
  EXPECT_TRUE(cachedLogo());
  core->setAppLogo(nullptr);
  EXPECT_EQ(observer.posts, 2);
  EXPECT_FALSE(observer.lastImage);
}

TEST_F(BrelumCoreTest, ARenamedNotificationNamesBothThePostAndTheCacheKey) {
  brelum::setBrelumCoreAppLogoNotification("HostLogo");
  LogoObserver renamed("HostLogo");
  LogoObserver original("BrelumCoreAppLogoNotification");
  auto core = makeCore();
  core->setAppLogo(platform::Image::make(2, 1, std::vector<std::uint8_t>(8, 10)));
  core->cacheAppLogo();
  EXPECT_EQ(renamed.posts, 1);
  EXPECT_EQ(original.posts, 0);
  auto defaults = platform::UserDefaults::standard();
  EXPECT_TRUE(defaults->dataForKey("HostLogo"));
  EXPECT_FALSE(defaults->dataForKey("BrelumCoreAppLogoNotification"));
  auto next = makeCore();
  ASSERT_TRUE(next->appLogo());
  EXPECT_EQ(next->appLogo()->width(), 2);
  (void)defaults->removeObject("HostLogo");
}

TEST_F(BrelumCoreTest, UndecodableCacheDataPostsNothing) {
  (void)platform::UserDefaults::standard()->setData(brelum::BrelumCoreAppLogoNotification(),
                                                    {1, 2, 3});
  LogoObserver observer;
  auto core = makeCore();
  EXPECT_EQ(observer.posts, 0);
  EXPECT_FALSE(core->appLogo());
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

// --- Event tracking wiring ---

void sendAndWait(BrelumCore& core, EventTracker::Event event) {
  awaitCompletion<bool>(
      [&](auto done) { core.eventTracker()->send(std::move(event), [done] { done(true); }); });
}

std::vector<std::string> failureLines(const platform::ConsoleCapture& console) {
  std::vector<std::string> lines;
  for (const auto& line : console.lines()) {
    if (line.starts_with(EventTracker::kFailureMarker)) lines.push_back(line);
  }
  return lines;
}

TEST_F(BrelumCoreTest, TheTrackerComesFromTheProfileWithAnEmptyUserIdAndStaysQuiet) {
  for (auto [gender, wire] : {std::pair{std::optional<UserSettings::Gender>{}, "NONE"},
                              std::pair{std::optional{UserSettings::Gender::female}, "FEMALE"}}) {
    const auto core = BrelumCore::make(kAppID, kAppSecret, "3.1.4", profile(gender), true);
    const auto& tracker = core->eventTracker();
    ASSERT_TRUE(tracker);
    EXPECT_EQ(tracker->user(), (EventTracker::Data::User{"", "user-1", "Ada", wire}));
    EXPECT_FALSE(tracker->verbose());
    EXPECT_EQ(tracker->extraURL(), std::nullopt);
  }
  const auto anonymous = BrelumCore::make(kAppID, kAppSecret, "1", nullptr, false);
  EXPECT_EQ(anonymous->eventTracker()->user(), (EventTracker::Data::User{"", "", "", "NONE"}));
}

TEST_F(BrelumCoreTest, EventsGoToTheQueueEvenWithACustomerURL) {
  const auto core = makeCore();
  ASSERT_EQ(validate(core), true);
  ASSERT_EQ(login(core), true);
  ASSERT_TRUE(runMainLoopUntil([&] { return core->eventTracker()->extraURL().has_value(); }, 20s));

  sendAndWait(*core, EventTracker::Event::open_app("entry-1"));
  const auto messages = testsupport::queueMessages(backend());
  ASSERT_EQ(messages.size(), 1u);
  const auto document = nlohmann::json::parse(messages[0].body);
  EXPECT_EQ(document["data"]["app_id"], kAppID);
  EXPECT_EQ(document["data"]["event"]["sdk_version"], "1.0.0");
  EXPECT_EQ(document["data"]["event"]["user"]["client_user_id"], "user-1");
  EXPECT_EQ(received("/v1/customer/events"), 0u);
  awaitQuiet();
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

TEST_F(BrelumCoreTest, TheSocketIsMadeOnceAfterVerificationAndKept) {
  auto core = makeCore(true);
  EXPECT_FALSE(core->socketManager());
  EXPECT_FALSE(core->_socketManager());  // a read before verification stores nothing
  EXPECT_EQ(validate(core), true);
  const auto socket = core->socketManager();
  ASSERT_TRUE(socket);
  EXPECT_TRUE(socket->verbose());
  backend().failWith("/v1/app/verify", 200, verifiedDocument("https://elsewhere.brelum.io/"));
  EXPECT_EQ(validate(core), true);
  EXPECT_EQ(core->socketManager(), socket);
  core->set_socketManager(nullptr);
  EXPECT_NE(core->socketManager(), socket);  // the host cleared it: made anew
  awaitQuiet();
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
