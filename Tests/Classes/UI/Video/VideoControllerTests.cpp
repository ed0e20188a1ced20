#include "Classes/UI/Video/VideoController.h"

#include <gtest/gtest.h>

#include <memory>

#include "Platform/Graphics/Color.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/View.h"
#include "Tests/Support/TestMedia.h"

namespace brelum {
namespace {

static_assert(PIPUsableViewController<VideoController>);

TEST(VideoControllerTest, BlackRootViewWithItsPlayerPinnedToTheEdgesAndForwarded) {
  auto controller = platform::ViewController::make<VideoController>();
  const auto& root = controller->view();
  EXPECT_EQ(root->backgroundColor(), platform::Color::black());
  ASSERT_EQ(root->subviews().size(), 1u);
  const auto player = std::dynamic_pointer_cast<VideoPlayer>(root->subviews().front());
  ASSERT_TRUE(player);
  root->setFrame({10, 20, 300, 100});
  root->layoutIfNeeded();
  EXPECT_EQ(player->frame(), (platform::Rect{0, 0, 300, 100}));

  int errors = 0;
  controller->setOnErrorOccured([&] { ++errors; });
  player->onErrorOccured()();
  EXPECT_EQ(errors, 1);

  auto clip = testsupport::makeClip({.seconds = 1});
  ASSERT_TRUE(clip) << clip.error();
  controller->play(*platform::URL::make("file://" + clip->string()));
  EXPECT_EQ(player->layer()->sublayers().size(), 1u);
  controller->stop();
  EXPECT_TRUE(player->layer()->sublayers().empty());
}

}  // namespace
}  // namespace brelum
