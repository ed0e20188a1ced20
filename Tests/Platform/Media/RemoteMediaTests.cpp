#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "Platform/Media/Player.h"
#include "Platform/Media/PlayerItem.h"
#include "Platform/Network/ExtraTrustedCA.h"
#include "Tests/Platform/Media/MediaProbe.h"
#include "Tests/Support/Backend.h"
#include "Tests/Support/LoopbackPorts.h"
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

// Media from the stand-in back end over HTTPS, under one of the framework's real host names:
// the connect-to table takes the connection to loopback, and the certificate is checked
// against the test CA.
class RemoteMediaTest : public testsupport::BackendTest {
 protected:
  static constexpr const char* kHost = "console.brelum.io";

  std::string serve(const ClipRecipe& recipe) {
    auto clip = testsupport::makeClip(recipe);
    if (!clip) {
      ADD_FAILURE() << clip.error();
      return {};
    }
    const auto name = "clip." + recipe.extension();
    backend().serveMedia(name, *clip);
    return std::string("https://") + kHost + "/media/" + name;
  }

  void open(const std::string& url, bool playWhenReady = true) {
    player_ = Player::make();
    player_->replaceCurrentItem(PlayerItem::make(*platform::URL::make(url)));
    probe_ = MediaProbe::watch(player_);
    if (playWhenReady) player_->play();
  }

  bool runUntilEnded() {
    return runMainLoopUntil(
        [&] {
          return player_->status() == PlayerStatus::readyToPlay &&
                 probe_->count("player.rate", 0) > 0;
        },
        30s);
  }

  std::shared_ptr<Player> player_;
  std::shared_ptr<MediaProbe> probe_;
};

class RemoteClip : public RemoteMediaTest,
                   public ::testing::WithParamInterface<ClipRecipe::Format> {};

TEST_P(RemoteClip, PlaysToTheEndThroughRangedReadsOfTheVerifiedHost) {
  const ClipRecipe recipe{.format = GetParam(), .seconds = 1};
  open(serve(recipe));
  ASSERT_TRUE(runUntilEnded());
  EXPECT_GE(probe_->presentationTimes.size(), std::size_t(recipe.framesPerSecond) / 3);
  EXPECT_GT(probe_->presentationTimes.back(), 500ms);
  const auto reads = backend().requests("/media/clip." + recipe.extension());
  ASSERT_FALSE(reads.empty());
  for (const auto& read : reads) {
    EXPECT_TRUE(read.header("range").value_or("").starts_with("bytes=")) << read.path;
    EXPECT_EQ(read.sni, kHost);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, RemoteClip,
                         ::testing::Values(ClipRecipe::Format::webm, ClipRecipe::Format::mp4),
                         [](const auto& info) {
                           return ClipRecipe{.format = info.param}.extension();
                         });

TEST_F(RemoteMediaTest, ServerWithoutRangeSupportStillPlays) {
  open(serve({.seconds = 1}) + "?ranges=none");
  ASSERT_TRUE(runUntilEnded());
  EXPECT_FALSE(probe_->presentationTimes.empty());
}

TEST_F(RemoteMediaTest, MediaThatStopsArrivingStallsAtRateZeroAndRecovers) {
  // Eight seconds of noise at 2 Mbit/s: far more than the source reads ahead.
  open(serve({.seconds = 8, .kilobitsPerSecond = 2000, .pattern = "snow"}));
  ASSERT_TRUE(runMainLoopUntil([&] { return probe_->presentationTimes.size() > 5; }, 20s));
  backend().delay("/media/*", 4s);
  ASSERT_TRUE(runMainLoopUntil([&] { return probe_->count("player.rate", 0) == 1; }, 20s));
  EXPECT_EQ(player_->rate(), 0);
  backend().clearFaults();
  ASSERT_TRUE(runMainLoopUntil([&] { return probe_->count("player.rate", 1) == 2; }, 20s));
}

struct FailureCase {
  std::string name;
  std::string expected;  // in the error's description

  friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

class RemoteFailure : public RemoteMediaTest, public ::testing::WithParamInterface<FailureCase> {
 protected:
  std::string urlFor(const std::string& name) {
    const auto url = serve({.seconds = 1});
    if (name == "Untrusted") {
      platform::clearExtraTrustedCAFile();
      // A host not yet connected to, so that a kept-alive connection cannot be reused.
      return "https://api.brelum.io/media/clip.webm";
    }
    if (name == "Refused") return testsupport::refusedURL() + "clip.webm";
    if (name == "NotFound") return std::string("https://") + kHost + "/media/missing.webm";
    if (name == "DroppedMidResponse") backend().drop("/media/*");
    return url;
  }
};

TEST_P(RemoteFailure, FailsWithTheNetworksReason) {
  open(urlFor(GetParam().name));
  ASSERT_TRUE(runMainLoopUntil([&] { return probe_->heardStatus(PlayerStatus::failed); }, 20s));
  ASSERT_TRUE(probe_->item->error());
  EXPECT_NE(probe_->item->error()->localizedDescription.find(GetParam().expected),
            std::string::npos)
      << probe_->item->error()->localizedDescription;
  EXPECT_EQ(player_->rate(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, RemoteFailure,
                         ::testing::Values(FailureCase{"Untrusted", "secureConnectionFailed"},
                                           FailureCase{"Refused", "cannotConnect"},
                                           FailureCase{"NotFound", "404"},
                                           FailureCase{"DroppedMidResponse", "connectionLost"}),
                         [](const auto& info) { return info.param.name; });

TEST_F(RemoteMediaTest, ReleasedWithReadsInFlightStopsAndNeverCallsBack) {
  open(serve({.seconds = 8, .kilobitsPerSecond = 2000, .pattern = "snow"}));
  ASSERT_TRUE(runMainLoopUntil([&] { return probe_->presentationTimes.size() > 2; }, 20s));
  backend().delay("/media/*", 1s);
  ASSERT_TRUE(runMainLoopUntil([&] { return !backend().idle(); }, 10s));
  player_.reset();
  const auto heard = probe_->notices.size();
  ASSERT_TRUE(runMainLoopUntil([&] { return backend().idle(); }, 10s));
  testsupport::drainMainQueue();
  EXPECT_EQ(probe_->notices.size(), heard);
}

}  // namespace
