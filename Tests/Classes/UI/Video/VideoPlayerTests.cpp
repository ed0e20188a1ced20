#include "Classes/UI/Video/VideoPlayer.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Media/Player.h"
#include "Platform/Media/PlayerItem.h"
#include "Platform/Media/PlayerLayer.h"
#include "Platform/Network/ExtraTrustedCA.h"
#include "Platform/UI/Application.h"
#include "Tests/Support/Backend.h"
#include "Tests/Support/MainLoopPump.h"
#include "Tests/Support/TestMedia.h"

namespace brelum {
namespace {

using namespace std::chrono_literals;
using platform::Application;
using platform::ApplicationState;
using platform::PlayerItem;
using platform::PlayerLayer;
using testsupport::ClipRecipe;
using testsupport::runMainLoopUntil;
using Clock = std::chrono::steady_clock;

constexpr const char* kHost = "console.brelum.io";

platform::URL fileURL(const ClipRecipe& recipe) {
  auto clip = testsupport::makeClip(recipe);
  if (!clip) ADD_FAILURE() << clip.error();
  return *platform::URL::make("file://" + clip.value_or("/missing").string());
}

// The player layers under the view's layer.
std::vector<std::shared_ptr<PlayerLayer>> playerLayers(const VideoPlayer& view) {
  std::vector<std::shared_ptr<PlayerLayer>> layers;
  for (const auto& layer : view.layer()->sublayers()) {
    if (auto shown = std::dynamic_pointer_cast<PlayerLayer>(layer)) layers.push_back(shown);
  }
  return layers;
}

// The item the view plays now, or null when it is stopped.
std::shared_ptr<PlayerItem> shownItem(const VideoPlayer& view) {
  const auto layers = playerLayers(view);
  return layers.empty() ? nullptr : layers.front()->player()->currentItem();
}

bool isPlaying(const VideoPlayer& view) {
  const auto layers = playerLayers(view);
  return layers.size() == 1 && layers.front()->player()->rate() == 1.0f;
}

class VideoPlayerTest : public testsupport::BackendTest {
 protected:
  void SetUp() override {
    BackendTest::SetUp();
    Application::shared().setState(ApplicationState::active);
    view_->setOnErrorOccured([this] { ++errors_; });
  }
  void TearDown() override { Application::shared().setState(ApplicationState::active); }

  // Pumps the main loop until `condition`, noting each item the view opens on the way.
  bool runUntil(const std::function<bool()>& condition, Clock::duration timeout = 20s) {
    return runMainLoopUntil(
        [&] {
          auto item = shownItem(*view_);
          if (item && (items_.empty() || items_.back().lock() != item)) items_.push_back(item);
          return condition();
        },
        timeout);
  }

  std::shared_ptr<VideoPlayer> view_ = platform::View::make<VideoPlayer>({0, 0, 160, 90});
  std::vector<std::weak_ptr<PlayerItem>> items_;
  int errors_ = 0;
};

// Scripts of host calls and application state changes, and where each leaves the view. Steps:
// 'a' / 'b' play that URL, 's' stop, 'r' resume, '-' resign active, '+' become active.
struct ScriptCase {
  std::string name;
  std::string steps;
  std::optional<char> playing;  // the URL shown at the end; none: stopped

  friend void PrintTo(const ScriptCase& c, std::ostream* os) { *os << c.name; }
};

class VideoPlayerScript : public VideoPlayerTest,
                          public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(VideoPlayerScript, EndsWithOnePlayingLayerOrNone) {
  const std::map<char, platform::URL> urls{{'a', fileURL({.seconds = 4})},
                                           {'b', fileURL({.seconds = 3})}};
  for (const char step : GetParam().steps) {
    if (urls.contains(step)) view_->play(urls.at(step));
    if (step == 's') view_->stop();
    if (step == 'r') view_->resume();
    if (step == '-') Application::shared().setState(ApplicationState::inactive);
    if (step == '+') Application::shared().setState(ApplicationState::active);
    // Each step acts on real playback, not on a player still opening.
    runUntil([&] { return !shownItem(*view_) || isPlaying(*view_); });
  }

  if (const auto playing = GetParam().playing) {
    ASSERT_TRUE(runUntil([&] { return isPlaying(*view_); }));
    const auto item = shownItem(*view_);
    EXPECT_EQ(item->url().absoluteString(), urls.at(*playing).absoluteString());
    EXPECT_EQ(item->preferredForwardBufferDuration(), 0.3);
    EXPECT_EQ(item->observationCount("status") + item->observationCount("player.rate"), 2u);
    view_->layoutIfNeeded();
    EXPECT_EQ(playerLayers(*view_)[0]->frame(), view_->bounds());
    EXPECT_EQ(playerLayers(*view_)[0]->videoGravity(),
              platform::Layer::ContentsGravity::resizeAspectFill);
  } else {
    EXPECT_TRUE(playerLayers(*view_).empty());
  }
  // Replaced and stopped players are gone, and with them their observations.
  for (const auto& weak : items_) {
    auto item = weak.lock();
    if (!item || item == shownItem(*view_)) continue;
    EXPECT_EQ(item->player(), nullptr);
    EXPECT_EQ(item->observationCount("status") + item->observationCount("player.rate"), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Steps, VideoPlayerScript,
                         ::testing::Values(ScriptCase{"ResumeBeforeAnyPlay", "r", {}},
                                           ScriptCase{"StopTwice", "ass", {}},
                                           ScriptCase{"ResumeAfterStopKeepsTheURL", "asr", 'a'},
                                           ScriptCase{"PlayWhilePlaying", "ab", 'b'},
                                           ScriptCase{"PlayTheSameWhilePlaying", "aa", 'a'},
                                           ScriptCase{"ResignActive", "a-", {}},
                                           ScriptCase{"ResignThenBecomeActive", "a-+", 'a'},
                                           ScriptCase{"BecomeActiveBeforeAnyPlay", "-+", {}}),
                         [](const auto& info) { return info.param.name; });

struct KeyPathCase {
  std::string keyPath;
  enum { ignored, restartedNow, restartPending } outcome;
};

class VideoPlayerKeyPath : public VideoPlayerTest,
                           public ::testing::WithParamInterface<KeyPathCase> {};

TEST_P(VideoPlayerKeyPath, IsMatchedWithoutRegardToCase) {
  // Before the media is ready: status unknown, rate 0.
  view_->play(fileURL({.seconds = 2}));
  const auto item = shownItem(*view_);
  EXPECT_EQ(item->player()->rate(), 0.0f);  // playback waits for the media to be ready
  view_->observeValue(GetParam().keyPath, item.get(), {}, nullptr);
  switch (GetParam().outcome) {
    case KeyPathCase::ignored:
      EXPECT_EQ(shownItem(*view_), item);
      break;
    case KeyPathCase::restartedNow:
      ASSERT_NE(shownItem(*view_), nullptr);
      EXPECT_NE(shownItem(*view_), item);
      break;
    case KeyPathCase::restartPending:
      EXPECT_EQ(shownItem(*view_), nullptr);
      break;
  }
  ASSERT_TRUE(runUntil([&] { return isPlaying(*view_); }));
}

INSTANTIATE_TEST_SUITE_P(Paths, VideoPlayerKeyPath,
                         ::testing::Values(KeyPathCase{"STATUS", KeyPathCase::restartPending},
                                           KeyPathCase{"Player.Rate", KeyPathCase::restartedNow},
                                           KeyPathCase{"rate", KeyPathCase::ignored},
                                           KeyPathCase{"status.", KeyPathCase::ignored}),
                         [](const auto& info) {
                           std::string name;
                           for (char c : info.param.keyPath) name += std::isalpha(c) ? c : '_';
                           return name;
                         });

// The rates announced to an item's "player.rate" observers.
struct RateRecorder : platform::KeyValueObserver {
  void observeValue(const std::optional<std::string>&, const void* object,
                    const platform::KeyValueChange&, void*) override {
    rates.push_back(static_cast<const PlayerItem*>(object)->player()->rate());
  }
  std::vector<float> rates;
};

TEST_F(VideoPlayerTest, RealClipStartsOverFromItsEndWithANewPlayer) {
  view_->play(fileURL({.seconds = 1}));
  const auto first = shownItem(*view_);
  auto recorder = std::make_shared<RateRecorder>();
  first->addObserver(recorder, "player.rate");

  ASSERT_TRUE(runUntil([&] { return shownItem(*view_) != first && isPlaying(*view_); }, 30s));
  EXPECT_EQ(recorder->rates, (std::vector<float>{1, 0}));  // played, then ended
  EXPECT_EQ(first->player(), nullptr);
  EXPECT_EQ(shownItem(*view_)->url().absoluteString(), first->url().absoluteString());
}

// Media that can never play: reopened after growing delays, each failed reopening reported.
class VideoPlayerFailure : public VideoPlayerTest,
                           public ::testing::WithParamInterface<std::string> {
 protected:
  platform::URL urlFor(const std::string& name) {
    if (name == "MissingFile") return *platform::URL::make("file:///nonexistent/clip.webm");
    auto clip = testsupport::makeClip({.seconds = 1});
    if (clip) backend().serveMedia("clip.webm", *clip);
    platform::clearExtraTrustedCAFile();
    // A host no other test connects to, so that no verified connection can be reused.
    return *platform::URL::make("https://video.brelum.io/media/clip.webm");
  }
};

TEST_P(VideoPlayerFailure, RestartsAfterGrowingDelaysAndReportsEachFailedRestart) {
  const auto started = Clock::now();
  view_->play(urlFor(GetParam()));
  ASSERT_TRUE(runUntil([&] { return errors_ == 2; }, 30s));
  const auto elapsed = Clock::now() - started;
  EXPECT_EQ(items_.size(), 3u);  // the first attempt fails quietly, two restarts fail
  EXPECT_GE(elapsed, VideoPlayer::kFirstRestartDelay * 3);
  EXPECT_TRUE(playerLayers(*view_).empty());  // nothing is shown while waiting
}

INSTANTIATE_TEST_SUITE_P(Urls, VideoPlayerFailure,
                         ::testing::Values("MissingFile", "UntrustedHTTPS"),
                         [](const auto& info) { return info.param; });

TEST_F(VideoPlayerTest, StopWhileWaitingToRestartCancelsTheRestart) {
  view_->play(*platform::URL::make("file:///nonexistent/clip.webm"));
  ASSERT_TRUE(runUntil([&] { return !items_.empty() && !shownItem(*view_); }));
  view_->stop();
  EXPECT_FALSE(runUntil([&] { return items_.size() > 1; }, VideoPlayer::kFirstRestartDelay * 3));
}

TEST_F(VideoPlayerTest, StartingSuccessfullyBeginsANewFailureCount) {
  // Two failed opens (one reported), a good one, then a connection lost mid-play: a first
  // failure again, so it is not reported.
  backend().setFault(testsupport::Backend::Fault("/media/*").status(404).times(2));
  auto clip = testsupport::makeClip({.seconds = 8, .kilobitsPerSecond = 2000, .pattern = "snow"});
  ASSERT_TRUE(clip) << clip.error();
  backend().serveMedia("clip.webm", *clip);
  view_->play(*platform::URL::make(std::string("https://") + kHost + "/media/clip.webm"));
  ASSERT_TRUE(runUntil([&] { return isPlaying(*view_); }, 30s));
  EXPECT_EQ(errors_, 1);

  const auto playing = items_.size();
  backend().drop("/media/*");
  ASSERT_TRUE(runUntil([&] { return !shownItem(*view_); }, 30s));
  backend().clearFaults();
  ASSERT_TRUE(runUntil([&] { return items_.size() > playing && isPlaying(*view_); }, 30s));
  EXPECT_EQ(errors_, 1);
}

TEST_F(VideoPlayerTest, ReleasedWhilePlayingOrWaitingStopsEverythingQuietly) {
  auto waiting = platform::View::make<VideoPlayer>();
  waiting->play(*platform::URL::make("file:///nonexistent/clip.webm"));
  view_->play(fileURL({.seconds = 4}));
  ASSERT_TRUE(runUntil([&] { return isPlaying(*view_) && !shownItem(*waiting); }));
  std::weak_ptr<PlayerItem> item = shownItem(*view_);

  view_.reset();
  waiting.reset();
  EXPECT_TRUE(item.expired());
  // Their application-state registrations and the pending restart find nothing to do.
  Application::shared().setState(ApplicationState::inactive);
  Application::shared().setState(ApplicationState::active);
  const auto until = Clock::now() + VideoPlayer::kFirstRestartDelay * 2;
  runMainLoopUntil([&] { return Clock::now() >= until; });
}

}  // namespace
}  // namespace brelum
