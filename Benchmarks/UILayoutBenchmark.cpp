// Layout of fitted views (each pinned to its superview's four edges, four constraints) side
// by side with the floor: the same frames set directly. The superview changes size on every
// iteration, so every subview moves each time. Compare the per-view times (items/s) of the
// two at each count, and each one's growth from 1,000 to 10,000 views.
//
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/bench --target UILayoutBenchmark
//   build/bench/Benchmarks/UILayoutBenchmark

#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "Platform/UI/LayoutConstraint.h"
#include "Platform/UI/View.h"
#include "Platform/UI/Window.h"

namespace {

using platform::LayoutConstraint;
using platform::Rect;
using platform::View;
using platform::Window;

constexpr double kMargin = 4;

struct Tree {
  std::shared_ptr<Window> window = Window::make({0, 0, 1000, 1000});
  std::shared_ptr<View> container = View::make(Rect{0, 0, 500, 500});
  std::vector<std::shared_ptr<View>> views;
  bool larger = false;

  explicit Tree(int count) {
    window->addSubview(container);
    for (int i = 0; i < count; ++i) {
      auto view = View::make(Rect{});
      container->addSubview(view);
      views.push_back(std::move(view));
    }
    window->layoutIfNeeded();
  }

  // Alternates the container between two sizes.
  Rect resize() {
    larger = !larger;
    const double side = larger ? 600 : 500;
    container->setBounds({0, 0, side, side});
    return {kMargin, kMargin, side - 2 * kMargin, side - 2 * kMargin};
  }
};

void BM_LayoutFittedViews(benchmark::State& state) {
  Tree tree(int(state.range(0)));
  for (auto& view : tree.views) {
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    LayoutConstraint::activate(std::vector{
        view->topAnchor().constraintEqualTo(tree.container->topAnchor(), kMargin),
        view->bottomAnchor().constraintEqualTo(tree.container->bottomAnchor(), -kMargin),
        view->leftAnchor().constraintEqualTo(tree.container->leftAnchor(), kMargin),
        view->rightAnchor().constraintEqualTo(tree.container->rightAnchor(), -kMargin)});
  }
  tree.window->layoutIfNeeded();
  for (auto _ : state) {
    tree.resize();
    tree.window->layoutIfNeeded();
  }
  if (tree.views.front()->frame() != tree.views.back()->frame()) state.SkipWithError("not fitted");
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SetFramesDirectly(benchmark::State& state) {
  Tree tree(int(state.range(0)));
  for (auto _ : state) {
    const Rect frame = tree.resize();
    for (auto& view : tree.views) view->setFrame(frame);
    tree.window->layoutIfNeeded();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_LayoutFittedViews)->Arg(1000)->Arg(10000);
BENCHMARK(BM_SetFramesDirectly)->Arg(1000)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
