#include "Classes/UI/Video/VideoPlayer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Foundation/Console.h"
#include "Platform/Media/AudioSession.h"
#include "Platform/Media/HTTPMediaSource.h"
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

// The item of the view's player layer (while waiting to restart, the one that failed), or
// null when the view is stopped.
std::shared_ptr<PlayerItem> shownItem(const VideoPlayer& view) {
  const auto layers = playerLayers(view);
  return layers.empty() ? nullptr : layers.front()->player()->currentItem();
}

bool hasFailed(const std::shared_ptr<PlayerItem>& item) {
  return item && item->status() == platform::PlayerStatus::failed;
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
// rate 0) a status notice and a rate notice both start over at once: an unknown status is no
// failure, which would wait to restart.
TEST_F(VideoPlayerTest, KeyPathsAreMatchedWithoutRegardToCaseAndAnUnknownStatusStartsOver) {
  const auto url = fileURL({.seconds = 2});
  for (const auto& [keyPath, restarted] :
       {std::pair{"STATUS", true}, std::pair{"Player.Rate", true}, std::pair{"rate", false},
        std::pair{"status.", false}}) {
    view_->play(url);
    const auto item = shownItem(*view_);
    view_->observeValue(std::string(keyPath), item.get(), {}, nullptr);
    const auto now = shownItem(*view_);
    EXPECT_NE(now, nullptr) << keyPath;
    EXPECT_EQ(now != item, restarted) << keyPath;
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
  const std::pair<int, int> delaysMs[] = {{1, 500}, {2, 1000}, {3, 2000}, {7, 30000}, {99, 30000}};
  for (const auto& [failures, ms] : delaysMs) {
    EXPECT_EQ(VideoPlayer::restartDelay(failures).count(), ms) << failures;
  }
}

TEST_F(VideoPlayerTest, StopWhileWaitingToRestartCancelsTheRestart) {
  view_->play(*platform::URL::make("file:///nonexistent/clip.webm"));
  ASSERT_TRUE(runUntil([&] { return hasFailed(shownItem(*view_)); }));
  view_->stop();
  // The restart was due after kFirstRestartDelay; seconds more leave no doubt on a busy machine.
  EXPECT_FALSE(runUntil([&] { return items_.size() > 1; }, VideoPlayer::kFirstRestartDelay + 3s));
}

TEST_F(VideoPlayerTest, PlayingLongEnoughBeginsANewFailureCount) {
  // Two failed opens (one reported), a good one that plays on, then a connection lost mid-play:
  // a first failure again, so it is not reported.
  backend().setFault(testsupport::Backend::Fault("/media/*").status(404).times(2));
  auto clip = testsupport::makeClip({.seconds = 12, .kilobitsPerSecond = 2000, .pattern = "snow"});
  ASSERT_TRUE(clip) << clip.error();
  backend().serveMedia("clip.webm", *clip);
  view_->play(*platform::URL::make("https://console.brelum.io/media/clip.webm"));
  ASSERT_TRUE(runUntil([&] { return isPlaying(*view_); }, 30s));
  EXPECT_EQ(errors_, 1);
  const auto played = Clock::now() + VideoPlayer::kPlayedLongEnough + 1s;
  runUntil([&] { return Clock::now() >= played; });

  const auto playing = items_.size();
  backend().drop("/media/*");
  ASSERT_TRUE(runUntil([&] { return hasFailed(shownItem(*view_)); }, 30s));
  backend().clearFaults();
  ASSERT_TRUE(runUntil([&] { return items_.size() > playing && isPlaying(*view_); }, 30s));
  EXPECT_EQ(errors_, 1);
}

// Each opening gets the first 256 KiB, several seconds of media, and its next read fails two
// seconds later: the media become ready, play a moment and fail, every time.
TEST_F(VideoPlayerTest, MediaFailingRightAfterBecomingReadyAreReportedAndTheirPictureStays) {
  auto clip = testsupport::makeClip({.seconds = 10, .kilobitsPerSecond = 300, .pattern = "snow"});
  ASSERT_TRUE(clip) << clip.error();
  const auto size = std::filesystem::file_size(*clip);
  ASSERT_GT(size, platform::detail::HTTPMediaSource::kReadSize);
  std::string head(platform::detail::HTTPMediaSource::kReadSize, '\0');
  std::ifstream(*clip, std::ios::binary).read(head.data(), std::streamsize(head.size()));
  backend().setFault(testsupport::Backend::Fault("/media/*")
                         .status(206, head)
                         .header("content-range", "bytes 0-" + std::to_string(head.size() - 1) +
                                                      "/" + std::to_string(size))
                         .delay(2s));
  view_->play(*platform::URL::make("https://console.brelum.io/media/clip.webm"));

  // Waiting to open it again, the view shows the failed media's last picture...
  ASSERT_TRUE(runUntil([&] { return hasFailed(shownItem(*view_)); }, 30s));
  ASSERT_EQ(playerLayers(*view_).size(), 1u);
  const auto picture = playerLayers(*view_)[0]->contents();
  EXPECT_NE(picture, nullptr);
  // ...and goes on showing it while the media open again.
  ASSERT_TRUE(runUntil([&] { return items_.size() == 2; }, 30s));
  EXPECT_EQ(playerLayers(*view_)[0]->contents(), picture);

  ASSERT_TRUE(runUntil([&] { return errors_ == 1; }, 30s));
}

// The audio session fails on a machine without sound output; the view says why, in one line.
TEST_F(VideoPlayerTest, AFailedAudioSessionIsReportedAsOneConsoleLine) {
  if (platform::AudioSession::isOutputAvailable()) GTEST_SKIP() << "this machine has sound";
  platform::ConsoleCapture console;
  auto view = platform::View::make<VideoPlayer>();
  EXPECT_EQ(console.lines(),
            std::vector<std::string>{
                "No audio output is available (no sound server and no ALSA playback device); "
                "media will play without sound."});
}

TEST_F(VideoPlayerTest, ReleasedWhilePlayingOrWaitingStopsEverythingQuietly) {
  auto waiting = platform::View::make<VideoPlayer>();
  waiting->play(*platform::URL::make("file:///nonexistent/clip.webm"));
  view_->play(fileURL({.seconds = 4}));
  ASSERT_TRUE(runUntil([&] { return isPlaying(*view_) && hasFailed(shownItem(*waiting)); }));
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
