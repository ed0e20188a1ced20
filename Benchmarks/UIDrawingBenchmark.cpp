// Drawing a window, side by side with its floor, and what drawing costs while nothing moves.
//
//   - BM_PlainCairoFloor and BM_RendererFullFrame: a 390 x 844 point window at scale 2 with
//     200 views (100 rounded cards, half of them clipping, each with an image view). The floor
//     is a plain Cairo program drawing the same shapes directly; the renderer walks the view
//     tree, builds its display list and draws it all. Compare their times per frame (goal:
//     within 1.5x).
//   - BM_RendererDrag: a 112 x 200 view dragged across the same window, a frame per step.
//     "redrawn/(old+new)" is the pixels redrawn per frame over the area of the view's old and
//     new frames together (goal: at most 2.5).
//   - BM_IdleWindow: a window shown on a virtual X server (Xvfb) for 10 s with nothing
//     changing. "cpu%" is this process's CPU time over the wall time (goal: below 1), and
//     "frames" the frames drawn meanwhile (0: no wake-ups).
//
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/bench --target UIDrawingBenchmark
//   build/bench/Benchmarks/UIDrawingBenchmark

#include <sys/resource.h>

#include <cairo.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <vector>

#include <benchmark/benchmark.h>

#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/Render/DesktopWindow.h"
#include "Platform/UI/Render/Renderer.h"
#include "Platform/UI/Window.h"
#include "Tests/Support/XvfbServer.h"

namespace {

using platform::Color;
using platform::Rect;
using platform::View;

constexpr double kWidth = 390;
constexpr double kHeight = 844;
constexpr double kScale = 2;
constexpr int kColumns = 10;
constexpr int kRows = 10;
constexpr double kRadius = 8;
constexpr int kImageSide = 48;  // pixels: 24 points at scale 2

// One card of the grid: where it is, its colour, whether it clips, where its image goes.
struct Card {
  Rect frame;
  Color color;
  bool clips;
  Rect imageFrame;  // in the card's coordinates
};

std::vector<Card> cards() {
  std::vector<Card> result;
  const double cellWidth = kWidth / kColumns;
  const double cellHeight = kHeight / kRows;
  for (int row = 0; row < kRows; ++row) {
    for (int column = 0; column < kColumns; ++column) {
      const int i = row * kColumns + column;
      Rect frame{column * cellWidth + 3, row * cellHeight + 3, cellWidth - 6, cellHeight - 6};
      const bool clips = i % 2 == 1;
      // A clipping card's image hangs over its corner, so the clip shows.
      Rect image =
          clips ? Rect{frame.width() - 16, frame.height() - 16, 24, 24} : Rect{4, 4, 24, 24};
      result.push_back(
          {frame, Color{0.2 + (i % 7) * 0.1, 0.4, 0.9 - (i % 5) * 0.1, 1}, clips, image});
    }
  }
  return result;
}

std::shared_ptr<platform::Image> cardImage() {
  std::vector<std::uint8_t> rgba;
  for (int y = 0; y < kImageSide; ++y) {
    for (int x = 0; x < kImageSide; ++x) {
      const bool inside = std::hypot(x - 23.5, y - 23.5) < 22;
      rgba.insert(rgba.end(), {static_cast<std::uint8_t>(x * 5), static_cast<std::uint8_t>(y * 5),
                               200, static_cast<std::uint8_t>(inside ? 255 : 0)});
    }
  }
  return platform::Image::make(kImageSide, kImageSide, std::move(rgba), kScale);
}

std::shared_ptr<platform::Window> sceneWindow(const std::shared_ptr<platform::Image>& image) {
  platform::Screen::main().setScale(kScale);
  auto window = platform::Window::make({0, 0, kWidth, kHeight});
  window->setBackgroundColor(Color::white());
  for (const auto& card : cards()) {
    auto view = View::make(card.frame);
    view->setBackgroundColor(card.color);
    view->layer()->setCornerRadius(kRadius);
    view->layer()->setMasksToBounds(card.clips);
    auto imageView = View::make<platform::ImageView>(card.imageFrame);
    imageView->setImage(image);
    view->addSubview(imageView);
    window->addSubview(view);
  }
  window->makeKeyAndVisible();
  return window;
}

// The floor's own helpers: what any Cairo program drawing these shapes would write.
void roundedRect(cairo_t* cr, const Rect& r, double radius) {
  constexpr double kQuarter = std::numbers::pi / 2;
  cairo_new_sub_path(cr);
  cairo_arc(cr, r.maxX() - radius, r.minY() + radius, radius, -kQuarter, 0);
  cairo_arc(cr, r.maxX() - radius, r.maxY() - radius, radius, 0, kQuarter);
  cairo_arc(cr, r.minX() + radius, r.maxY() - radius, radius, kQuarter, 2 * kQuarter);
  cairo_arc(cr, r.minX() + radius, r.minY() + radius, radius, 2 * kQuarter, 3 * kQuarter);
  cairo_close_path(cr);
}

cairo_surface_t* premultipliedSurface(const platform::Image& image) {
  auto* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width(), image.height());
  auto* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const auto* in = image.pixels().data();
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
    for (int x = 0; x < image.width(); ++x, in += 4) {
      const std::uint32_t a = in[3];
      row[x] = a << 24 | (in[0] * a / 255) << 16 | (in[1] * a / 255) << 8 | (in[2] * a / 255);
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

void BM_PlainCairoFloor(benchmark::State& state) {
  const auto scene = cards();
  auto* image = premultipliedSurface(*cardImage());
  auto* target =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(kWidth * kScale), int(kHeight * kScale));
  for (auto _ : state) {
    cairo_t* cr = cairo_create(target);
    cairo_scale(cr, kScale, kScale);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    for (const auto& card : scene) {
      cairo_save(cr);
      cairo_set_source_rgba(cr, card.color.red, card.color.green, card.color.blue, 1);
      roundedRect(cr, card.frame, kRadius);
      if (card.clips) {
        cairo_fill_preserve(cr);
        cairo_clip(cr);
      } else {
        cairo_fill(cr);
      }
      const Rect at = card.imageFrame.offsetBy(card.frame.minX(), card.frame.minY());
      cairo_translate(cr, at.minX(), at.minY());
      cairo_scale(cr, at.width() / kImageSide, at.height() / kImageSide);
      cairo_rectangle(cr, 0, 0, kImageSide, kImageSide);
      cairo_clip(cr);
      cairo_set_source_surface(cr, image, 0, 0);
      cairo_paint(cr);
      cairo_restore(cr);
    }
    cairo_destroy(cr);
    cairo_surface_flush(target);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(target));
  }
  cairo_surface_destroy(target);
  cairo_surface_destroy(image);
}
BENCHMARK(BM_PlainCairoFloor)->Unit(benchmark::kMillisecond);

void BM_RendererFullFrame(benchmark::State& state) {
  auto window = sceneWindow(cardImage());
  platform::Renderer renderer;
  for (auto _ : state) {
    renderer.invalidate();
    benchmark::DoNotOptimize(renderer.render(*window).size());
  }
}
BENCHMARK(BM_RendererFullFrame)->Unit(benchmark::kMillisecond);

void BM_RendererDrag(benchmark::State& state) {
  auto window = sceneWindow(cardImage());
  auto dragged = View::make(Rect{40, 100, 112, 200});
  dragged->setBackgroundColor(Color{1, 0.45, 0.2, 1});
  dragged->layer()->setCornerRadius(24);
  window->addSubview(dragged);
  platform::Renderer renderer;
  renderer.render(*window);
  double redrawn = 0;
  int step = 0;
  for (auto _ : state) {
    // Back and forth across the window, a few points a frame as a finger moves.
    const double dx = (step++ / 60) % 2 == 0 ? 3.5 : -3.5;
    dragged->setCenter({dragged->center().x + dx, dragged->center().y + 2.25});
    if (dragged->center().y > kHeight - 100) dragged->setCenter({dragged->center().x, 100});
    for (const auto& rect : renderer.render(*window)) redrawn += double(rect.width) * rect.height;
  }
  const double bothFrames = 2 * (112 * kScale) * (200 * kScale);
  state.counters["redrawn/(old+new)"] = redrawn / double(state.iterations()) / bothFrames;
  state.counters["pixels/frame"] = redrawn / double(state.iterations());
}
BENCHMARK(BM_RendererDrag)->Unit(benchmark::kMillisecond);

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_IdleWindow(benchmark::State& state) {
  auto server = testsupport::XvfbServer::start();
  if (!server) {
    state.SkipWithError(server.error().c_str());
    return;
  }
  (*server)->makeCurrent();
  auto window = sceneWindow(cardImage());
  auto desktop = platform::DesktopWindow::show(window, "UIDrawingBenchmark");
  if (!desktop) {
    state.SkipWithError("the window did not open");
    return;
  }
  platform::MainLoop::runUntil([&] { return desktop->framesShown() > 0; },
                               std::chrono::seconds(10));
  // Settling: the first frame and the desktop's own first events.
  platform::MainLoop::runFor(std::chrono::milliseconds(500));
  for (auto _ : state) {
    const auto frames = desktop->framesShown();
    const double cpuBefore = cpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    platform::MainLoop::runFor(std::chrono::seconds(10));
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallBefore;
    state.counters["cpu%"] = 100 * (cpuSeconds() - cpuBefore) / wall.count();
    state.counters["frames"] = double(desktop->framesShown() - frames);
  }
  desktop.reset();
}
BENCHMARK(BM_IdleWindow)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
