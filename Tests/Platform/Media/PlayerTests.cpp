#include "Platform/Media/Player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "Platform/Media/PlayerItem.h"
#include "Tests/Platform/Media/MediaProbe.h"
#include "Tests/Support/GStreamerObjects.h"
#include "Tests/Support/MainLoopPump.h"
#include "Tests/Support/TestMedia.h"

namespace {

using namespace std::chrono_literals;
using mediatests::MediaProbe;
using platform::Player;
using platform::PlayerItem;
using platform::PlayerStatus;
using testsupport::ClipRecipe;
using testsupport::runMainLoopUntil;

std::shared_ptr<Player> playerFor(const std::string& url) {
  auto player = Player::make();
  player->replaceCurrentItem(PlayerItem::make(*platform::URL::make(url)));
  return player;
}

std::string fileURL(const ClipRecipe& recipe) {
  auto clip = testsupport::makeClip(recipe);
  if (!clip) ADD_FAILURE() << clip.error();
  return "file://" + clip.value_or("/missing").string();
}

TEST(PlayerClip, PlaysEveryPictureAndReportsTheEndAsRateZero) {
  const ClipRecipe recipe{.seconds = 1};
  auto player = playerFor(fileURL(recipe));
  auto probe = MediaProbe::watch(player);
  probe->onNotice = [&](const MediaProbe::Notice& notice) {
    if (notice.keyPath == "status" && notice.status == PlayerStatus::readyToPlay) player->play();
  };

  ASSERT_TRUE(runMainLoopUntil([&] { return probe->count("player.rate", 0) > 0; }, 20s));
  EXPECT_TRUE(probe->heardStatus(PlayerStatus::readyToPlay));
  EXPECT_EQ(probe->count("player.rate", 1), 1);
  EXPECT_EQ(player->rate(), 0);
  ASSERT_TRUE(probe->lastFrame);
  EXPECT_EQ(probe->lastFrame->width(), recipe.width);
  EXPECT_EQ(probe->lastFrame->height(), recipe.height);
  EXPECT_GE(probe->lastFrame->bytesPerRow(), std::size_t(recipe.width) * 4);
  // Pictures keep coming to the end; how many a slow (sanitized, loaded) machine shows in real
  // time is the benchmark's business.
  EXPECT_GE(probe->presentationTimes.size(), std::size_t(recipe.framesPerSecond) / 3);
  EXPECT_GT(probe->presentationTimes.back(), 500ms);
  EXPECT_FALSE(probe->offMainThread);
  EXPECT_FALSE(probe->wrongObject);
}

struct BadURLCase {
  std::string name;
  std::string url;

  friend void PrintTo(const BadURLCase& c, std::ostream* os) { *os << c.url; }
};

class PlayerBadURL : public ::testing::TestWithParam<BadURLCase> {};

TEST_P(PlayerBadURL, FailsWithAReasonAndNeverPlays) {
  auto player = playerFor(GetParam().url);
  auto probe = MediaProbe::watch(player);
  player->play();
  ASSERT_TRUE(runMainLoopUntil([&] { return probe->heardStatus(PlayerStatus::failed); }, 10s));
  ASSERT_TRUE(probe->item->error());
  EXPECT_FALSE(probe->item->error()->localizedDescription.empty());
  EXPECT_EQ(player->status(), PlayerStatus::failed);
  EXPECT_EQ(player->rate(), 0);
  EXPECT_EQ(probe->notices.back().keyPath, "player.rate");  // 1 on play(), 0 on failing
  EXPECT_FALSE(probe->lastFrame);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlayerBadURL,
    ::testing::Values(BadURLCase{"MissingFile", "file:///nonexistent/clip.webm"},
                      BadURLCase{"NotMedia", "file://" BRELUM_SOURCE_DIR "/CMakeLists.txt"},
                      BadURLCase{"UnsupportedScheme", "ftp://example.com/clip.webm"}),
    [](const auto& info) { return info.param.name; });

class PlayerTest : public ::testing::Test {
 protected:
  void startPlaying(int seconds = 2) {
    player_ = playerFor(fileURL({.seconds = seconds}));
    probe_ = MediaProbe::watch(player_);
    player_->play();
    ASSERT_TRUE(runMainLoopUntil([&] { return probe_->presentationTimes.size() > 3; }, 20s));
  }

  std::shared_ptr<Player> player_;
  std::shared_ptr<MediaProbe> probe_;
};

TEST_F(PlayerTest, PauseAndPlayAnnounceEachRateChange) {
  startPlaying();
  player_->pause();
  EXPECT_EQ(probe_->count("player.rate", 0), 1);
  player_->pause();
  EXPECT_EQ(probe_->count("player.rate", 0), 1);
  const auto shown = probe_->presentationTimes.size();
  player_->play();
  EXPECT_EQ(probe_->count("player.rate", 1), 2);
  ASSERT_TRUE(runMainLoopUntil([&] { return probe_->presentationTimes.size() > shown + 3; }, 10s));
}

TEST_F(PlayerTest, PlayAtTheEndStartsAgainFromTheBeginning) {
  startPlaying(1);
  ASSERT_TRUE(runMainLoopUntil([&] { return probe_->count("player.rate", 0) == 1; }, 20s));
  const auto shown = probe_->presentationTimes.size();
  player_->play();
  ASSERT_TRUE(runMainLoopUntil([&] { return probe_->count("player.rate", 0) == 2; }, 20s));
  ASSERT_GT(probe_->presentationTimes.size(), shown + 10);
  EXPECT_LT(probe_->presentationTimes[shown + 1], 500ms);
}

TEST_F(PlayerTest, ReplacedItemHearsNothingMore) {
  startPlaying();
  auto old = probe_->item;
  const auto heard = probe_->notices.size();
  player_->replaceCurrentItem(PlayerItem::make(*platform::URL::make(fileURL({.seconds = 1}))));
  player_->pause();
  player_->play();
  ASSERT_TRUE(runMainLoopUntil(
      [&] { return player_->currentItem()->status() == PlayerStatus::readyToPlay; }, 20s));
  EXPECT_EQ(probe_->notices.size(), heard);
  EXPECT_EQ(old->player(), nullptr);
  EXPECT_EQ(player_->currentItem()->player(), player_);
}

TEST_F(PlayerTest, NewestPictureReplacesOneNotYetTaken) {
  startPlaying();
  // A main thread busy for a third of a second while about ten pictures are decoded...
  std::this_thread::sleep_for(330ms);
  const auto shown = probe_->presentationTimes.size();
  testsupport::drainMainQueue();
  // ...is handed only the newest of them.
  EXPECT_EQ(probe_->presentationTimes.size(), shown + 1);
}

TEST_F(PlayerTest, ReleasedWhilePlayingStopsAndNeverCallsBack) {
  startPlaying();
  std::weak_ptr<Player> weak = player_;
  player_.reset();
  EXPECT_TRUE(weak.expired());
  const auto heard = probe_->notices.size();
  const auto shown = probe_->presentationTimes.size();
  testsupport::drainMainQueue();
  testsupport::drainMainQueue();
  EXPECT_EQ(probe_->notices.size(), heard);
  EXPECT_EQ(probe_->presentationTimes.size(), shown);
  EXPECT_EQ(probe_->item->player(), nullptr);
}

TEST_F(PlayerTest, PlayersPlayedToTheEndLeaveNothingOfGStreamerAlive) {
  // A looping view makes a player per round: whatever a round leaves alive (a pipeline held by
  // a message never released, an element playbin forgets) adds up for as long as it loops.
  const auto url = fileURL({.seconds = 1});
  auto playToTheEnd = [&] {
    auto player = playerFor(url);
    auto probe = MediaProbe::watch(player);
    player->play();
    ASSERT_TRUE(runMainLoopUntil([&] { return probe->count("player.rate", 0) > 0; }, 20s));
  };
  playToTheEnd();  // GStreamer's once-per-process objects (the clock, thread pools) come first
  testsupport::drainMainQueue();
  testsupport::startCountingGStreamerObjects();
  for (int round = 0; round < 2; ++round) playToTheEnd();
  EXPECT_TRUE(runMainLoopUntil([] { return testsupport::liveGStreamerObjects().empty(); }, 5s))
      << ::testing::PrintToString(testsupport::liveGStreamerObjects());
}

}  // namespace
