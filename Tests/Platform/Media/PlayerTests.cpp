#include "Platform/Media/Player.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Platform/Dispatch/MainThread.h"
#include "Platform/Foundation/Console.h"
#include "Platform/Media/PlayerItem.h"
#include "Platform/Media/PlayerLayer.h"
#include "Platform/Media/VideoFrame.h"
#include "Platform/Network/ExtraTrustedCA.h"
#include "Platform/UI/Window.h"
#include "Tests/Support/Backend.h"
#include "Tests/Support/GStreamerObjects.h"
#include "Tests/Support/LoopbackPorts.h"
#include "Tests/Support/MainLoopPump.h"
#include "Tests/Support/TestMedia.h"

namespace {

using namespace std::chrono_literals;
using namespace platform;
using testsupport::ClipRecipe;
using testsupport::runMainLoopUntil;

// Observes an item's "status" and "player.rate" and takes its player's pictures, recording
// what it heard and whether anything came off the main thread or about another object.
class MediaProbe : public KeyValueObserver, public VideoFrameSink {
 public:
  static std::shared_ptr<MediaProbe> watch(const std::shared_ptr<Player>& player) {
    auto probe = std::make_shared<MediaProbe>();
    probe->item = player->currentItem();
    probe->item->addObserver(probe, "status");
    probe->item->addObserver(probe, "player.rate");
    player->addVideoOutput(probe);
    return probe;
  }

  void observeValue(const std::optional<std::string>& keyPath, const void* object,
                    const KeyValueChange&, void*) override {
    misdelivered |= !isMainThread() || object != item.get();
    lastKeyPath = keyPath.value_or("");
    if (lastKeyPath == "status") statuses.push_back(item->status());
    if (lastKeyPath == "player.rate") rates.push_back(item->player() ? item->player()->rate() : -1);
    if (onNotice) onNotice();
  }

  void displayFrame(const std::shared_ptr<const VideoFrame>& frame) override {
    misdelivered |= !isMainThread();
    // Only the newest is kept: holding decoded pictures would starve the decoder's pool.
    lastFrame = frame;
    presentationTimes.push_back(frame->presentationTime());
  }

  [[nodiscard]] auto count(float rate) const { return std::ranges::count(rates, rate); }
  [[nodiscard]] bool ended() const { return count(0) > 0; }
  [[nodiscard]] bool heard(PlayerStatus s) const { return std::ranges::count(statuses, s) > 0; }
  [[nodiscard]] std::size_t notices() const { return statuses.size() + rates.size(); }

  std::shared_ptr<PlayerItem> item;
  std::vector<PlayerStatus> statuses;
  std::vector<float> rates;  // the player's rate at each "player.rate" notice
  std::string lastKeyPath;
  std::shared_ptr<const VideoFrame> lastFrame;
  std::vector<std::chrono::nanoseconds> presentationTimes;
  std::function<void()> onNotice;
  bool misdelivered = false;
};

std::shared_ptr<Player> playerFor(const std::string& url) {
  auto player = Player::make();
  player->replaceCurrentItem(PlayerItem::make(*URL::make(url)));
  return player;
}

std::string fileURL(const ClipRecipe& recipe) {
  auto clip = testsupport::makeClip(recipe);
  if (!clip) ADD_FAILURE() << clip.error();
  return "file://" + clip.value_or("/missing").string();
}

template <class Base>
class PlayingTest : public Base {
 protected:
  void open(const std::string& url) {
    player_ = playerFor(url);
    probe_ = MediaProbe::watch(player_);
    player_->play();
  }
  bool runUntilShown(std::size_t pictures) {
    return runMainLoopUntil([&] { return probe_->presentationTimes.size() > pictures; }, 20s);
  }

  std::shared_ptr<Player> player_;
  std::shared_ptr<MediaProbe> probe_;
};
using PlayerTest = PlayingTest<::testing::Test>;

// The first round also pays for GStreamer's once-per-process objects (the clock, thread
// pools); a looping view makes a player per round, so whatever a later round leaves alive (a
// pipeline held by a message never released, an element playbin forgets) adds up.
TEST_F(PlayerTest, PlaysEveryPictureReportsTheEndAsRateZeroAndLeavesNothingAlive) {
  const ClipRecipe recipe{.seconds = 1};
  auto player = playerFor(fileURL(recipe));
  auto probe = MediaProbe::watch(player);
  probe->onNotice = [&] {
    if (probe->lastKeyPath == "status" && player->status() == PlayerStatus::readyToPlay)
      player->play();
  };
  ASSERT_TRUE(runMainLoopUntil([&] { return probe->ended(); }, 20s));
  EXPECT_TRUE(probe->heard(PlayerStatus::readyToPlay));
  EXPECT_EQ(probe->count(1), 1) << "rate 1 announced other than once";
  EXPECT_EQ(player->rate(), 0);
  ASSERT_TRUE(probe->lastFrame);
  EXPECT_EQ(probe->lastFrame->width(), recipe.width);
  EXPECT_EQ(probe->lastFrame->height(), recipe.height);
  EXPECT_GE(probe->lastFrame->bytesPerRow(), std::size_t(recipe.width) * 4);
  // Pictures keep coming to the end; how many a slow (sanitized, loaded) machine shows in real
  // time is the benchmark's business.
  EXPECT_GE(probe->presentationTimes.size(), std::size_t(recipe.framesPerSecond) / 3);
  EXPECT_GT(probe->presentationTimes.back(), 500ms);
  EXPECT_FALSE(probe->misdelivered) << "heard off the main thread or about another item";
  player = nullptr, probe = nullptr;
  testsupport::drainMainQueue();
  testsupport::startCountingGStreamerObjects();
  for (int round = 0; round < 2; ++round) {
    open(fileURL(recipe));
    ASSERT_TRUE(runMainLoopUntil([&] { return probe_->ended(); }, 20s));
  }
  player_ = nullptr, probe_ = nullptr;
  EXPECT_TRUE(runMainLoopUntil([] { return testsupport::liveGStreamerObjects().empty(); }, 30s))
      << ::testing::PrintToString(testsupport::liveGStreamerObjects());
}

TEST_F(PlayerTest, BadURLsFailWithAReasonAndNeverPlay) {
  for (const std::string url : {"file:///nonexistent/clip.webm",
                                "file://" BRELUM_SOURCE_DIR "/CMakeLists.txt",  // not media
                                "ftp://example.com/clip.webm"}) {
    SCOPED_TRACE(url);
    open(url);
    ASSERT_TRUE(runMainLoopUntil([&] { return probe_->heard(PlayerStatus::failed); }, 10s));
    ASSERT_TRUE(probe_->item->error());
    EXPECT_FALSE(probe_->item->error()->localizedDescription.empty());
    EXPECT_EQ(player_->status(), PlayerStatus::failed);
    EXPECT_EQ(player_->rate(), 0);
    EXPECT_EQ(probe_->lastKeyPath, "player.rate");  // 1 on play(), 0 on failing
    EXPECT_FALSE(probe_->lastFrame);
  }
}

TEST_F(PlayerTest, PauseAndPlayAnnounceEachRateChangeAndPlayAtTheEndStartsAgain) {
  open(fileURL({.seconds = 1}));
  ASSERT_TRUE(runUntilShown(3));
  player_->pause();
  player_->pause();  // unchanged: not announced
  EXPECT_EQ(probe_->count(0), 1);
  player_->play();
  EXPECT_EQ(probe_->count(1), 2);
  ASSERT_TRUE(runMainLoopUntil([&] { return probe_->count(0) == 2; }, 20s));
  const auto shown = probe_->presentationTimes.size();
  player_->play();
  ASSERT_TRUE(runMainLoopUntil([&] { return probe_->count(0) == 3; }, 20s));
  // It started again from the beginning: the first picture after play() comes before the last
  // one shown. (A busy machine may skip pictures, so how early it is says nothing.)
  ASSERT_GT(probe_->presentationTimes.size(), shown);
  EXPECT_LT(probe_->presentationTimes[shown], probe_->presentationTimes[shown - 1]);
}

TEST_F(PlayerTest, ReplacedItemHearsNothingMoreAndAReleasedPlayerNeverCallsBack) {
  open(fileURL({.seconds = 2}));
  ASSERT_TRUE(runUntilShown(3));
  auto old = probe_->item;
  const auto heard = probe_->notices();
  player_->replaceCurrentItem(PlayerItem::make(*URL::make(fileURL({.seconds = 1}))));
  player_->pause();
  player_->play();
  auto item = player_->currentItem();
  ASSERT_TRUE(runMainLoopUntil([&] { return item->status() == PlayerStatus::readyToPlay; }, 20s));
  EXPECT_EQ(probe_->notices(), heard) << "the replaced item was heard from";
  EXPECT_EQ(old->player(), nullptr);
  EXPECT_EQ(item->player(), player_);

  std::weak_ptr<Player> weak = player_;
  player_.reset();  // while playing
  EXPECT_TRUE(weak.expired());
  const auto shown = probe_->presentationTimes.size();
  for (int pass = 0; pass < 2; ++pass) testsupport::drainMainQueue();
  EXPECT_EQ(probe_->notices(), heard) << "a released player announced a change";
  EXPECT_EQ(probe_->presentationTimes.size(), shown) << "a released player showed a picture";
  EXPECT_EQ(item->player(), nullptr);
}

TEST_F(PlayerTest, NewestPictureReplacesOneNotYetTakenAndARemovedOutputGetsNoMore) {
  open(fileURL({.seconds = 2}));
  ASSERT_TRUE(runUntilShown(3));
  // A main thread busy for a second while about thirty pictures are decoded (fewer on a busy
  // machine, but more than one)...
  std::this_thread::sleep_for(1s);
  const auto shown = probe_->presentationTimes.size();
  testsupport::drainMainQueue();
  // ...is handed only the newest of them.
  EXPECT_EQ(probe_->presentationTimes.size(), shown + 1);
  player_->removeVideoOutput(probe_.get());
  auto layer = PlayerLayer::make(player_);
  const auto first = layer->contents();
  ASSERT_TRUE(runMainLoopUntil([&] { return layer->contents() != first; }, 10s));
  EXPECT_EQ(probe_->presentationTimes.size(), shown + 1);
}

TEST_F(PlayerTest, LayerShowsEachPictureInItsOwnColoursAndAsksForDrawing) {
  // Colour bars: yellow (red and green, no blue) second from the left, cyan third.
  player_ = playerFor(fileURL({.seconds = 1, .pattern = "smpte"}));
  auto window = Window::make({{0, 0}, {160, 120}});
  window->makeKeyAndVisible();
  std::weak_ptr<PlayerLayer> dropped = PlayerLayer::make(player_);
  EXPECT_TRUE(dropped.expired());  // the player does not keep its layers alive
  auto layer = PlayerLayer::make(player_);
  layer->setVideoGravity(Layer::ContentsGravity::resizeAspectFill);
  window->layer()->addSublayer(layer);
  player_->play();
  const auto generation = window->displayGeneration();
  ASSERT_TRUE(runMainLoopUntil([&] { return layer->contents() != nullptr; }, 20s));
  EXPECT_GT(window->displayGeneration(), generation);
  EXPECT_NE(PlayerLayer::make(player_)->contents(), nullptr);  // made after: shown at once
  const auto& image = *layer->contents();
  ASSERT_EQ(image.width(), 320);
  ASSERT_EQ(image.height(), 240);
  // The picture as the decoder left it (blue, green, red, unused): no copy was made.
  ASSERT_EQ(image.pixelFormat(), platform::Image::PixelFormat::bgrx);
  auto pixel = [&](int x) { return image.pixels().subspan(60 * image.bytesPerRow() + x * 4); };
  const auto yellow = pixel(320 * 3 / 14), cyan = pixel(320 * 5 / 14);
  EXPECT_LT(int(yellow[0]), 60) << "blue of the yellow bar";
  EXPECT_GT(int(yellow[1]), 150) << "green of the yellow bar";
  EXPECT_GT(int(yellow[2]), 150) << "red of the yellow bar";
  EXPECT_GT(int(cyan[0]), 150) << "blue of the cyan bar";
  EXPECT_LT(int(cyan[2]), 60) << "red of the cyan bar";
}

// What the pipeline does with the messages that GStreamer's elements post on its bus. They
// are posted here in the elements' stead: a queue filling, an audio device going away, a
// warning.
class PipelineMessagesTest : public PlayerTest {
 protected:
  void SetUp() override {
    testsupport::startCountingGStreamerObjects();
    open(fileURL({.seconds = 10}));
    ASSERT_TRUE(runUntilShown(2));
    playbin_ = GST_ELEMENT(testsupport::takeLiveGStreamerObject("GstPlayBin"));
    ASSERT_NE(playbin_, nullptr);
  }
  void TearDown() override {
    if (playbin_) gst_object_unref(playbin_);
  }

  // Posted as an element would, then handled: the pipeline handles its bus on the main queue.
  void post(GstMessage* message) {
    gst_element_post_message(playbin_, message);
    testsupport::drainMainQueue();
  }

  ConsoleCapture console_;
  GstElement* playbin_ = nullptr;
};

struct BufferingCase {
  std::string_view fault;               // what goes wrong when the pipeline ends up elsewhere
  std::vector<std::string_view> steps;  // "<n>%": a buffering message; "pause", "play": the player
  GstState target;
};

// Playback waits while a buffer fills and goes on once it is full, if playing was asked for.
TEST_F(PipelineMessagesTest, BufferingPausesUntilTheBufferIsFullThenPlaysIfAskedTo) {
  const BufferingCase cases[] = {
      {"plays on with an empty buffer", {"50%"}, GST_STATE_PAUSED},
      {"stays paused once the buffer is full", {"50%", "100%"}, GST_STATE_PLAYING},
      {"plays what the host paused", {"pause", "50%", "100%"}, GST_STATE_PAUSED},
      {"play() does not wait for the buffer", {"50%", "play"}, GST_STATE_PAUSED},
  };
  for (const auto& [fault, steps, target] : cases) {
    SCOPED_TRACE(fault);
    player_->play();
    post(gst_message_new_buffering(GST_OBJECT(playbin_), 100));
    for (const auto step : steps) {
      if (step == "pause") player_->pause();
      if (step == "play") player_->play();
      if (step.ends_with('%')) {
        post(gst_message_new_buffering(GST_OBJECT(playbin_), std::stoi(std::string(step))));
      }
    }
    EXPECT_STREQ(gst_element_state_get_name(GST_STATE_TARGET(playbin_)),
                 gst_element_state_get_name(target));
  }
}

// A pipeline picks a clock on its way from PAUSED to PLAYING, and only then: one that lost its
// clock (the audio sink that gave it closed) stands still until it passes through PAUSED.
TEST_F(PipelineMessagesTest, ALostClockIsReplacedByPassingThroughPaused) {
  const GstClockTime base = gst_element_get_base_time(playbin_);
  GstClock* clock = gst_element_get_clock(playbin_);
  ASSERT_NE(clock, nullptr);
  post(gst_message_new_clock_lost(GST_OBJECT(playbin_), clock));
  gst_object_unref(clock);
  // Going back to PLAYING, the pipeline takes a new base time.
  EXPECT_TRUE(runMainLoopUntil([&] { return gst_element_get_base_time(playbin_) != base; }));
  EXPECT_STREQ(gst_element_state_get_name(GST_STATE_TARGET(playbin_)), "PLAYING");
}

// Not the warning of a missing volume control, which playsink gives on opening whenever the
// audio sink (as on a machine without sound) has no volume of its own: every loop of a video
// would write it again.
TEST_F(PipelineMessagesTest, AWarningIsWrittenToTheConsole) {
  GError* warning =
      g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE, "a damaged frame");
  post(gst_message_new_warning(GST_OBJECT(playbin_), warning, "decoder details"));
  g_error_free(warning);
  ASSERT_EQ(console_.lines().size(), 1u);
  EXPECT_TRUE(console_.lines()[0].contains("a damaged frame")) << console_.lines()[0];
}

// Media from the stand-in back end over HTTPS, under one of the framework's real host names:
// the connect-to table takes the connection to loopback, and the certificate is checked
// against the test CA.
class RemoteMediaTest : public PlayingTest<testsupport::BackendTest> {
 protected:
  static constexpr const char* kHost = "console.brelum.io";

  std::string serve(const ClipRecipe& recipe) {
    auto clip = testsupport::makeClip(recipe);
    if (!clip) ADD_FAILURE() << clip.error();
    const auto name = "clip." + recipe.extension();
    if (clip) backend().serveMedia(name, *clip);
    return std::string("https://") + kHost + "/media/" + name;
  }

  bool runUntilEnded() {
    return runMainLoopUntil(
        [&] { return player_->status() == PlayerStatus::readyToPlay && probe_->ended(); }, 30s);
  }
};

TEST_F(RemoteMediaTest, PlaysToTheEndThroughRangedReadsOfTheVerifiedHostOrWithoutRanges) {
  for (auto format : {ClipRecipe::Format::webm, ClipRecipe::Format::mp4}) {
    const ClipRecipe recipe{.format = format, .seconds = 1};
    SCOPED_TRACE(recipe.extension());
    open(serve(recipe));
    ASSERT_TRUE(runUntilEnded());
    EXPECT_GE(probe_->presentationTimes.size(), std::size_t(recipe.framesPerSecond) / 3);
    EXPECT_GT(probe_->presentationTimes.back(), 500ms);
    const auto reads = backend().requests("/media/clip." + recipe.extension());
    // Reads of 256 KiB, the end byte counted in.
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(reads[0].header("range"), "bytes=0-262143");
    for (const auto& read : reads) {
      EXPECT_TRUE(read.header("range").value_or("").starts_with("bytes=")) << read.path;
      EXPECT_EQ(read.sni, kHost);
    }
  }
  open(serve({.seconds = 1}) + "?ranges=none");
  ASSERT_TRUE(runUntilEnded());
  EXPECT_FALSE(probe_->presentationTimes.empty());
}

TEST_F(RemoteMediaTest, MediaThatStopsArrivingStallsAtRateZeroAndRecovers) {
  // Eight seconds of noise at 2 Mbit/s: far more than the source reads ahead.
  open(serve({.seconds = 8, .kilobitsPerSecond = 2000, .pattern = "snow"}));
  ASSERT_TRUE(runUntilShown(5));
  backend().delay("/media/*", 4s);
  // The probe records the player's rate at each notice: it is 0 here.
  ASSERT_TRUE(runMainLoopUntil([&] { return probe_->count(0) == 1; }, 20s));
  backend().clearFaults();
  ASSERT_TRUE(runMainLoopUntil([&] { return probe_->count(1) == 2; }, 20s));
}

TEST_F(RemoteMediaTest, ReleasedWithReadsInFlightStopsAndNeverCallsBack) {
  open(serve({.seconds = 8, .kilobitsPerSecond = 2000, .pattern = "snow"}));
  ASSERT_TRUE(runUntilShown(2));
  backend().delay("/media/*", 60s);
  ASSERT_TRUE(runMainLoopUntil([&] { return !backend().idle(); }, 10s));
  player_.reset();
  const auto heard = probe_->notices();
  // The read in flight is cancelled: the back end sees its connection close long before the
  // answer was due.
  ASSERT_TRUE(runMainLoopUntil([&] { return backend().idle(); }, 10s));
  testsupport::drainMainQueue();
  EXPECT_EQ(probe_->notices(), heard);
}

TEST_F(RemoteMediaTest, FailsWithTheNetworksReason) {
  const auto served = serve({.seconds = 1});
  // A case's fault is set just before it; the last asks a host not yet connected to, so that a
  // kept-alive connection cannot be reused.
  const std::pair<std::string, std::string> cases[]{
      {testsupport::refusedURL() + "clip.webm", "cannotConnect"},
      {std::string("https://") + kHost + "/media/missing.webm", "404"},
      {served, "connectionLost"},
      {"https://api.brelum.io/media/clip.webm", "secureConnectionFailed"}};
  for (const auto& [url, expected] : cases) {
    SCOPED_TRACE(expected);
    if (expected == "connectionLost") backend().drop("/media/*");
    if (expected == "secureConnectionFailed") backend().clearFaults(), clearExtraTrustedCAFile();
    open(url);
    ASSERT_TRUE(runMainLoopUntil([&] { return probe_->heard(PlayerStatus::failed); }, 20s));
    ASSERT_TRUE(probe_->item->error());
    const auto& description = probe_->item->error()->localizedDescription;
    EXPECT_TRUE(description.contains(expected)) << description;
    EXPECT_EQ(player_->rate(), 0);
  }
}

}  // namespace
