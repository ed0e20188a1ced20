#include "Platform/UI/Render/Renderer.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string_view>

#include "Platform/Graphics/Screen.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/Nib.h"
#include "Platform/UI/NibCoder.h"
#include "Platform/UI/NibRegistry.h"
#include "Platform/UI/Render/Snapshot.h"
#include "Platform/UI/Window.h"
#include "Tests/Platform/UI/Render/PixelProbe.h"
#include "Tests/Support/MainLoopPump.h"
#include "Tests/Support/TemporaryBundle.h"

using namespace platform;
using testsupport::pixelAt;
using testsupport::pixelsMatch;
using testsupport::RGBA;

namespace {

constexpr RGBA kWhite{255, 255, 255, 255}, kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255},
    kGreen{0, 255, 0, 255};

std::shared_ptr<View> coloured(const Rect& frame, Color color) {
  auto view = View::make(frame);
  view->setBackgroundColor(color);
  return view;
}

// An opaque image of one colour.
std::shared_ptr<Image> solidImage(int side, RGBA c) {
  std::vector<std::uint8_t> pixels;
  for (int i = 0; i < side * side * 4; ++i) pixels.push_back(i % 4 == 3 ? 255 : c[i % 4]);
  return Image::make(side, side, std::move(pixels));
}

// An opaque picture of one colour as a video decoder hands it over: blue, green, red and an
// unused byte per pixel, rows padded.
std::shared_ptr<Image> solidPicture(int side, RGBA c) {
  const std::size_t bytesPerRow = std::size_t(side) * 4 + 8;
  auto pixels = std::make_shared<std::vector<std::uint8_t>>(bytesPerRow * side, 0x7F);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side * 4; ++x) {
      if (x % 4 != 3) (*pixels)[y * bytesPerRow + x] = std::uint8_t(c[2 - x % 4]);
    }
  }
  return Image::wrap(side, side, bytesPerRow, Image::PixelFormat::bgrx,
                     std::shared_ptr<const std::uint8_t>(pixels, pixels->data()));
}

// Each (x, y, colour): the picture shows that colour under that point.
void expectPixels(const Image& image, std::initializer_list<std::tuple<double, double, RGBA>> at) {
  for (const auto& [x, y, colour] : at) {
    EXPECT_PRED_FORMAT2(pixelsMatch, pixelAt(image, x, y), colour) << "at " << x << ", " << y;
  }
}

class RendererTest : public ::testing::Test {
 protected:
  void SetUp() override { window_->setBackgroundColor(Color::white()); }
  void TearDown() override {
    window_.reset();
    testsupport::drainMainQueue();
    Screen::main().setScale(1);
  }
  void expectShown(std::initializer_list<std::tuple<double, double, RGBA>> at) {
    expectPixels(*Snapshot::image(*window_), at);
  }

  std::shared_ptr<Window> window_ = Window::make({0, 0, 100, 100});
};

TEST_F(RendererTest, CornerRadiusRoundsTheBackgroundAndClipsSubviewsOnlyWhenMasking) {
  auto masking = coloured({0, 0, 40, 40}, Color{0, 0, 1, 1});
  auto open = coloured({50, 0, 40, 40}, Color{0, 0, 1, 1});
  auto bare = coloured({0, 50, 40, 40}, Color{0, 0, 1, 1});
  for (const auto& card : {masking, open, bare}) {
    card->layer()->setCornerRadius(15);
    window_->addSubview(card);
  }
  masking->layer()->setMasksToBounds(true);
  masking->addSubview(coloured({0, 0, 40, 40}, Color{1, 0, 0, 1}));
  open->addSubview(coloured({0, 0, 40, 40}, Color{1, 0, 0, 1}));
  // Masking: the corner is clipped away and the subview shows inside. Not masking: the
  // subview's square corner shows. Only the bare background is rounded, not its straight edge.
  expectShown({{1, 1, kWhite}, {20, 20, kRed}, {51, 1, kRed}, {1, 51, kWhite}, {20, 51, kBlue}});
}

TEST_F(RendererTest, TranslucentViewFadesWithItsSubviewsAsOnePicture) {
  auto parent = coloured({0, 0, 80, 40}, Color{0, 0, 1, 1});
  parent->setAlpha(0.5);
  parent->addSubview(coloured({0, 0, 40, 40}, Color{1, 0, 0, 1}));
  window_->addSubview(parent);
  // Over the subview the parent's blue must not show through.
  expectShown({{20, 20, {255, 128, 128, 255}}, {60, 20, {128, 128, 255, 255}}, {60, 60, kWhite}});
}

TEST_F(RendererTest, TintGravityAndHidingDecideWhatIsDrawn) {
  auto tinted = View::make<ImageView>(Rect{0, 0, 40, 40});
  tinted->setImage(solidImage(4, kWhite)->withRenderingMode(Image::RenderingMode::alwaysTemplate));
  auto original = View::make<ImageView>(Rect{50, 0, 40, 40});
  original->setImage(solidImage(4, kRed));
  original->setContentMode(ContentMode::center);
  window_->setTintColor(Color{0, 1, 0, 1});  // inherited by both
  // Letterboxed: the square contents sit in the middle of the wide view.
  auto fitted = coloured({0, 50, 80, 40}, Color{0, 0, 1, 1});
  fitted->layer()->setContents(solidPicture(4, kRed));
  fitted->layer()->setContentsGravity(Layer::ContentsGravity::resizeAspect);
  auto hidden = coloured({80, 0, 20, 100}, Color{1, 0, 0, 1});
  hidden->addSubview(coloured({0, 0, 20, 20}, Color{0, 0, 1, 1}));
  hidden->setHidden(true);
  for (const auto& view : std::vector<std::shared_ptr<View>>{tinted, original, fitted, hidden})
    window_->addSubview(view);
  expectShown({{20, 20, kGreen}, {70, 20, kRed}, {55, 5, kWhite}, {40, 70, kRed}});
  expectShown({{10, 70, kBlue}, {90, 10, kWhite}, {90, 60, kWhite}});
}

// A drawn view of the host's own, which the platform knows nothing of: it reads the glyph its
// nib names and hands it to its layer, as a template.
class BadgeView : public View {
 public:
  explicit BadgeView(const NibCoder& coder) : View(coder) {
    if (auto glyph = coder.decodeImage("glyph")) {
      layer()->setContents(glyph->withRenderingMode(Image::RenderingMode::alwaysTemplate));
      layer()->setContentsGravity(Layer::ContentsGravity::resizeAspect);
    }
  }
};

TEST_F(RendererTest, AHostsOwnViewFromANibDrawsWhatItsLayerHolds) {
  NibRegistry::registerClass<BadgeView>(nullptr, "BadgeView");
  testsupport::TemporaryBundle host;
  auto png = solidImage(4, kWhite)->pngData();
  host.write("glyph.png", std::string(png->begin(), png->end()));
  host.write("Badge.nib", R"({"objects": [{"class": "BadgeView", "properties": {
      "frame": [0, 0, 80, 40], "backgroundColor": [0, 0, 1, 1], "tintColor": [1, 0, 0, 1],
      "glyph": "glyph"}}]})");
  auto objects = Nib("Badge", host.bundle()).instantiate(nullptr);
  ASSERT_EQ(objects.size(), 1u);
  window_->addSubview(std::dynamic_pointer_cast<View>(objects[0]));
  // The square glyph, from the nib's own bundle, fits the middle of the wide badge in the
  // badge's tint; the background shows beside it.
  expectShown({{40, 20, kRed}, {5, 20, kBlue}, {75, 20, kBlue}});
}

TEST_F(RendererTest, AnimationMidpointIsDrawnBetweenItsEnds) {
  auto view = coloured({0, 0, 20, 20}, Color{0, 0, 0, 1});
  window_->addSubview(view);
  View::animate(1.0, [&] {
    view->setCenter({90, 10});
    view->setAlpha(0);
  });
  ASSERT_FALSE(view->animations().empty());
  auto midpoint = view->animations().front().start + std::chrono::milliseconds(500);
  expectPixels(*Snapshot::image(*window_, midpoint),
               {{50, 10, {128, 128, 128, 255}}, {5, 10, kWhite}, {90, 10, kWhite}});
}

TEST_F(RendererTest, AWindowWithoutAreaHasNoPictureAndAHugeOneIsCropped) {
  window_->setFrame({0, 0, 0, 50});
  EXPECT_EQ(Snapshot::image(*window_), nullptr);
  window_->setFrame({0, 0, 1e9, 2});
  auto image = Snapshot::image(*window_);
  ASSERT_EQ(image ? image->width() : 0, 8192);
  expectPixels(*image, {{100, 1, kWhite}});
}

// After any change, drawing only the damage must leave the same pixels as drawing it all.
TEST_F(RendererTest, IncrementalRedrawLeavesTheSamePixelsAsAFullRedraw) {
  window_->setFrame({0, 0, 200, 300});
  // Change by change, the damage a partial redraw would leave stale if it missed it.
  const std::string_view damage[] = {"the place a view moved from",
                                     "the content of a view scrolled by its bounds",
                                     "a view's new background",
                                     "the place of a view hidden",
                                     "the place of a subview removed",
                                     "a view brought to the front",
                                     "a view fading with its subview",
                                     "content a mask no longer clips",
                                     "the old and new places of a moved sublayer",
                                     "an image redrawn in its new tint"};
  for (int change = 0; change < std::ssize(damage); ++change) {
    SCOPED_TRACE(damage[change]);
    // A masking rounded card holding a tinted image view and a sublayer, a translucent view
    // with a subview over its edge, and a filled picture.
    auto card = coloured({20, 20, 120, 100}, Color{0, 0, 1, 1});
    auto inner = View::make<ImageView>(Rect{-10, 60, 80, 80});
    auto fading = coloured({60, 150, 100, 100}, Color{0, 1, 0, 1});
    auto plain = coloured({10, 200, 60, 60}, Color{0.2, 0.2, 0.2, 1});
    card->layer()->setCornerRadius(16);
    inner->setBackgroundColor(Color{1, 0.5, 0, 1});
    inner->setImage(solidImage(8, kRed)->withRenderingMode(Image::RenderingMode::alwaysTemplate));
    inner->setContentMode(ContentMode::center);
    card->addSubview(inner);
    auto sublayer = Layer::make();
    sublayer->setFrame({70, 10, 30, 30});
    sublayer->setContents(solidImage(2, kGreen));
    card->layer()->addSublayer(sublayer);
    fading->setAlpha(0.6);
    fading->addSubview(coloured({70, 70, 40, 40}, Color{1, 0, 1, 1}));
    plain->layer()->setContents(Image::make(2, 1, {255, 0, 0, 255, 0, 0, 255, 255}));
    plain->layer()->setContentsGravity(Layer::ContentsGravity::resizeAspectFill);
    for (const auto& view : {card, fading, plain}) {
      view->layer()->setMasksToBounds(view != fading);
      window_->addSubview(view);
    }
    Renderer renderer;
    renderer.render(*window_);
    if (change == 0) card->setCenter({130, 160});
    if (change == 1) card->setBounds({15, -20, 120, 100});  // scrolled
    if (change == 2) plain->setBackgroundColor(Color{1, 1, 0, 1});
    if (change == 3) card->setHidden(true);
    if (change == 4) inner->removeFromSuperview();
    if (change == 5) window_->addSubview(card);  // brought to the front
    if (change == 6) fading->setAlpha(0.2);
    if (change == 7)
      card->layer()->setMasksToBounds(false), plain->layer()->setMasksToBounds(false);
    if (change == 8) sublayer->setFrame({0, 0, 60, 20});
    if (change == 9) card->setTintColor(Color{0, 0, 0, 1});
    EXPECT_FALSE(renderer.render(*window_).empty());
    auto incremental = renderer.image();
    auto full = Snapshot::image(*window_);
    ASSERT_TRUE(incremental);
    ASSERT_TRUE(full);
    ASSERT_EQ(incremental->width(), full->width());
    for (int y = 0; y < full->height(); ++y) {
      for (int x = 0; x < full->width(); ++x) {
        // Cairo may take another path through a clip and round an edge a step apart.
        ASSERT_PRED_FORMAT2(pixelsMatch, pixelAt(*incremental, x, y), pixelAt(*full, x, y))
            << "at " << x << ", " << y;
      }
    }
    EXPECT_TRUE(renderer.render(*window_).empty()) << "nothing changed since";
    for (const auto& view : {card, fading, plain}) view->removeFromSuperview();
  }
}

TEST_F(RendererTest, MovedViewRedrawsOnlyItsOldAndNewPlace) {
  Screen::main().setScale(2);
  window_->setFrame({0, 0, 390, 844});
  for (int i = 0; i < 20; ++i) {
    window_->addSubview(coloured({10.0 + i * 15, 10.0 + i * 35, 50, 50}, Color{0, 0.5, 1, 1}));
  }
  auto dragged = coloured({100, 300, 112, 200}, Color{1, 0, 0, 1});
  window_->addSubview(dragged);
  Renderer renderer;
  renderer.render(*window_);
  dragged->setCenter({dragged->center().x + 7.5, dragged->center().y + 3.25});
  long long area = 0;
  for (const auto& rect : renderer.render(*window_)) area += 1LL * rect.width * rect.height;
  // Old and new places overlap; with edge pixels they add at most a pixel each way.
  EXPECT_GE(area, 112 * 2 * 200 * 2) << "less than the new place";
  EXPECT_LE(area, (112 * 2 + 16) * (200 * 2 + 8)) << "more than the old and new places";
}

}  // namespace
