#include "Platform/Media/PlayerLayer.h"

#include <gtest/gtest.h>

#include <chrono>

#include "Platform/Media/Player.h"
#include "Platform/Media/PlayerItem.h"
#include "Platform/UI/View.h"
#include "Platform/UI/Window.h"
#include "Tests/Support/MainLoopPump.h"
#include "Tests/Support/TestMedia.h"

namespace {

using namespace std::chrono_literals;
using platform::Player;
using platform::PlayerLayer;
using testsupport::ClipRecipe;
using testsupport::runMainLoopUntil;

class PlayerLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Colour bars: yellow (red and green, no blue) second from the left, cyan third.
    const ClipRecipe recipe{.seconds = 1, .pattern = "smpte"};
    auto clip = testsupport::makeClip(recipe);
    ASSERT_TRUE(clip) << clip.error();
    player_ = Player::make();
    player_->replaceCurrentItem(
        platform::PlayerItem::make(*platform::URL::make("file://" + clip->string())));
    window_ = platform::Window::make({{0, 0}, {160, 120}});
    window_->makeKeyAndVisible();
  }

  std::shared_ptr<Player> player_;
  std::shared_ptr<platform::Window> window_;
};

TEST_F(PlayerLayerTest, ShowsEachPictureInItsOwnColoursAndAsksForDrawing) {
  auto layer = PlayerLayer::make(player_);
  layer->setVideoGravity(platform::Layer::ContentsGravity::resizeAspectFill);
  window_->layer()->addSublayer(layer);
  player_->play();
  const auto generation = window_->displayGeneration();
  ASSERT_TRUE(runMainLoopUntil([&] { return layer->contents() != nullptr; }, 20s));
  EXPECT_GT(window_->displayGeneration(), generation);
  const auto& image = *layer->contents();
  ASSERT_EQ(image.width(), 320);
  ASSERT_EQ(image.height(), 240);
  // The picture as the decoder left it (blue, green, red, unused): no copy was made.
  ASSERT_EQ(image.pixelFormat(), platform::Image::PixelFormat::bgrx);
  auto pixel = [&](int x, int y) {
    return image.pixels().subspan(y * image.bytesPerRow() + x * 4);
  };
  const auto yellow = pixel(320 * 3 / 14, 60);
  EXPECT_LT(yellow[0], 60);
  EXPECT_GT(yellow[1], 150);
  EXPECT_GT(yellow[2], 150);
  const auto cyan = pixel(320 * 5 / 14, 60);
  EXPECT_GT(cyan[0], 150);
  EXPECT_LT(cyan[2], 60);
}

TEST_F(PlayerLayerTest, LayerMadeAfterThePictureCameShowsItAtOnce) {
  ASSERT_TRUE(runMainLoopUntil([&] { return player_->currentFrame() != nullptr; }, 20s));
  EXPECT_NE(PlayerLayer::make(player_)->contents(), nullptr);
}

TEST_F(PlayerLayerTest, DroppedLayerNoLongerReceivesPictures) {
  std::weak_ptr<PlayerLayer> weak = PlayerLayer::make(player_);
  EXPECT_TRUE(weak.expired());
  player_->play();
  ASSERT_TRUE(runMainLoopUntil([&] { return player_->rate() == 0; }, 20s));
}

}  // namespace
