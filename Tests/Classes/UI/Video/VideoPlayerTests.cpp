#include "Classes/UI/Video/VideoPlayer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Media/Player.h"
#include "Platform/Media/PlayerItem.h"
#include "Platform/Media/PlayerLayer.h"
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
using testsupport::runMainLoopUntil;
using Clock = std::chrono::steady_clock;

platform::URL fileURL(const testsupport::ClipRecipe& recipe) {
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
  std::string steps;
  std::optional<char> playing;  // the URL shown at the end; none: stopped
  friend void PrintTo(const ScriptCase& c, std::ostream* os) { *os << c.steps; }
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
                         ::testing::Values(ScriptCase{"r", {}}, ScriptCase{"ass", {}},
                                           ScriptCase{"asr", 'a'}, ScriptCase{"ab", 'b'},
                                           ScriptCase{"a-", {}}, ScriptCase{"a-+", 'a'},
                                           ScriptCase{"-+", {}}));

// Key paths are matched without regard to case. Before the media is ready (status unknown,
// rate 0) a status notice is a failure, a rate notice a start over.
TEST_F(VideoPlayerTest, KeyPathsAreMatchedWithoutRegardToCase) {
  const auto url = fileURL({.seconds = 2});
  enum Outcome { ignored, restartedNow, restartPending };
  for (const auto& [keyPath, outcome] :
       {std::pair{"STATUS", restartPending}, std::pair{"Player.Rate", restartedNow},
        std::pair{"rate", ignored}, std::pair{"status.", ignored}}) {
    view_->play(url);
    const auto item = shownItem(*view_);
    view_->observeValue(std::string(keyPath), item.get(), {}, nullptr);
    const auto now = shownItem(*view_);
    EXPECT_EQ(now == item, outcome == ignored) << keyPath;
    EXPECT_EQ(now == nullptr, outcome == restartPending) << keyPath;
  }
  ASSERT_TRUE(runUntil([&] { return isPlaying(*view_); }));
}

// Media that can never play: reopened after growing delays, each failed reopening reported.
TEST_F(VideoPlayerTest, RestartsAfterGrowingDelaysAndReportsEachFailedRestart) {
  const auto started = Clock::now();
  view_->play(*platform::URL::make("file:///nonexistent/clip.webm"));
  ASSERT_TRUE(runUntil([&] { return errors_ == 2; }, 30s));
  EXPECT_EQ(items_.size(), 3u);  // the first attempt fails quietly, two restarts fail
  EXPECT_GE(Clock::now() - started, VideoPlayer::kFirstRestartDelay * 3);
  EXPECT_TRUE(playerLayers(*view_).empty());  // nothing is shown while waiting
  const std::pair<int, int> delaysMs[] = {{1, 500}, {2, 1000}, {3, 2000}, {7, 30000}, {99, 30000}};
  for (const auto& [failures, ms] : delaysMs) {
    EXPECT_EQ(VideoPlayer::restartDelay(failures).count(), ms) << failures;
  }
}

TEST_F(VideoPlayerTest, StopWhileWaitingToRestartCancelsTheRestart) {
  view_->play(*platform::URL::make("file:///nonexistent/clip.webm"));
  ASSERT_TRUE(runUntil([&] { return !items_.empty() && !shownItem(*view_); }));
  view_->stop();
  // The restart was due after kFirstRestartDelay; seconds more leave no doubt on a busy machine.
  EXPECT_FALSE(runUntil([&] { return items_.size() > 1; }, VideoPlayer::kFirstRestartDelay + 3s));
}

TEST_F(VideoPlayerTest, StartingSuccessfullyBeginsANewFailureCount) {
  // Two failed opens (one reported), a good one, then a connection lost mid-play: a first
  // failure again, so it is not reported.
  backend().setFault(testsupport::Backend::Fault("/media/*").status(404).times(2));
  auto clip = testsupport::makeClip({.seconds = 8, .kilobitsPerSecond = 2000, .pattern = "snow"});
  ASSERT_TRUE(clip) << clip.error();
  backend().serveMedia("clip.webm", *clip);
  view_->play(*platform::URL::make("https://console.brelum.io/media/clip.webm"));
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
  const auto until = Clock::now() + VideoPlayer::kFirstRestartDelay + 3s;
  runMainLoopUntil([&] { return Clock::now() >= until; });
}

}  // namespace
}  // namespace brelum
