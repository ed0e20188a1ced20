#include "Classes/UI/Extensions/ImageViewExtensions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "Platform/Network/ImageDownloader.h"
#include "Tests/Support/Backend.h"
#include "Tests/Support/MainLoopPump.h"

using namespace std::chrono_literals;
using platform::Image;
using platform::ImageView;
using platform::Rect;
using platform::View;

namespace {

class SetTemplateImage : public testsupport::BackendTest {
 protected:
  [[nodiscard]] std::optional<platform::URL> url(std::string_view path) const {
    return platform::URL::make("https://" + backend().hosts().front() + std::string(path));
  }

  // Waits until the back end has answered `count` requests for `path`, then until a download
  // of the same path sent only after that has come back, so that the earlier answers have
  // reached the main queue and run.
  void settle(std::string_view path, std::size_t count) {
    ASSERT_TRUE(testsupport::runMainLoopUntil(
        [&] { return backend().requests(path).size() >= count && backend().idle(); }, 20s));
    bool done = false;
    platform::ImageDownloader::download(url(path)->absoluteString(),
                                        [&](platform::ImageResponse) { done = true; });
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return done; }, 20s));
    testsupport::drainMainQueue();
  }

  static std::shared_ptr<Image> placeholder() {
    return Image::make(2, 2, std::vector<std::uint8_t>(16, 255));
  }

  static bool showsTemplate(const ImageView& view, int side) {
    return view.image() && view.image()->width() == side &&
           view.image()->renderingMode() == Image::RenderingMode::alwaysTemplate;
  }
};

TEST_F(SetTemplateImage, ShowsThePlaceholderThenTheDownloadBothAsTemplates) {
  auto view = View::make<ImageView>(Rect{0, 0, 24, 24});
  brelum::setTemplateImage(*view, placeholder(), url("/assets/templates/check.png"));
  EXPECT_TRUE(showsTemplate(*view, 2));
  ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return showsTemplate(*view, 24); }, 20s));
  // The glyph's shape came through: a corner is clear, the tick's stroke is not.
  const auto pixels = view->image()->pixels();
  EXPECT_EQ(pixels[3], 0);
  EXPECT_EQ(pixels[(18 * 24 + 10) * 4 + 3], 255);
}

// A failed download leaves the placeholder; a download neither keeps its view alive nor
// touches it once gone; a later call supersedes an earlier call's download.
TEST_F(SetTemplateImage, AFailedDownloadALaterCallOrTheViewsEndLeaveTheImage) {
  for (auto path : {"/assets/templates/close.png", "/assets/templates/dot.png"}) {
    backend().delay(path, 300ms);
  }
  auto view = View::make<ImageView>(Rect{}), failed = View::make<ImageView>(Rect{});
  auto gone = View::make<ImageView>(Rect{});
  std::weak_ptr<ImageView> weak = gone;
  brelum::setTemplateImage(*failed, placeholder(), url("/assets/templates/missing.png"));
  brelum::setTemplateImage(*gone, placeholder(), url("/assets/templates/dot.png"));
  brelum::setTemplateImage(*view, placeholder(), url("/assets/templates/close.png"));
  brelum::setTemplateImage(*view, nullptr, std::nullopt);  // clears, downloads nothing
  EXPECT_EQ(view->image(), nullptr);
  gone.reset();
  EXPECT_TRUE(weak.expired());
  settle("/assets/templates/missing.png", 1);
  settle("/assets/templates/dot.png", 1);
  settle("/assets/templates/close.png", 1);
  EXPECT_EQ(view->image(), nullptr);
  EXPECT_TRUE(showsTemplate(*failed, 2));
  EXPECT_EQ(backend().requests("/assets/templates/missing.png").size(), 2u);  // and settle()'s
}

}  // namespace
