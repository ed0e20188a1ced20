// Plays a clip with our player and a player layer in a window, as a host would, and reports
// one JSON line.
//
//   MediaPlayback play FILE     plays FILE once in real time: CPU seconds used from the first
//                               picture to the end, pictures that reached the layer, seconds
//   MediaPlayback loop FILE M   loops FILE for M minutes, a new player for every round (as a
//                               looping view does), and reports the resident memory after the
//                               first minute and at the end
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Foundation/KeyValueObserver.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Media/Player.h"
#include "Platform/Media/PlayerItem.h"
#include "Platform/Media/PlayerLayer.h"
#include "Platform/Media/VideoFrame.h"
#include "Platform/UI/Window.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using platform::Player;
using platform::PlayerLayer;
using platform::PlayerStatus;

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long residentKilobytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// One round: a player, its layer in the window, play when ready, done at rate 0.
class Round : public platform::KeyValueObserver, public std::enable_shared_from_this<Round> {
 public:
  static std::shared_ptr<Round> start(const std::string& url,
                                      const std::shared_ptr<platform::Window>& window) {
    auto round = std::make_shared<Round>();
    round->player_ = Player::make();
    round->player_->replaceCurrentItem(platform::PlayerItem::make(*platform::URL::make(url)));
    round->player_->currentItem()->addObserver(round, "status");
    round->player_->currentItem()->addObserver(round, "player.rate");
    round->layer_ = PlayerLayer::make(round->player_);
    round->layer_->setFrame(window->bounds());
    window->layer()->addSublayer(round->layer_);
    return round;
  }

  ~Round() override {
    if (layer_) layer_->removeFromSuperlayer();
  }

  void observeValue(const std::optional<std::string>& keyPath, const void*,
                    const platform::KeyValueChange&, void*) override {
    if (keyPath == "status" && player_->status() == PlayerStatus::readyToPlay) {
      cpuAtStart = cpuSeconds();
      startedAt = Clock::now();
      player_->play();
    } else if (keyPath == "status") {
      failed = true;
    } else if (keyPath == "player.rate" && player_->rate() == 0) {
      ended = true;
    }
  }

  // Pictures that reached the layer, counted by presentation time.
  void countShown() {
    if (const auto& frame = player_->currentFrame())
      shown.insert(frame->presentationTime().count());
  }

  std::shared_ptr<Player> player_;
  std::shared_ptr<PlayerLayer> layer_;
  double cpuAtStart = 0;
  Clock::time_point startedAt;
  std::set<long> shown;
  bool ended = false;
  bool failed = false;
};

int play(const std::string& url, const std::shared_ptr<platform::Window>& window) {
  auto round = Round::start(url, window);
  // The layer's contents change with every picture; counting them after each turn of the
  // loop sees every picture the layer was given.
  const auto done = platform::MainLoop::runUntil(
      [&] {
        round->countShown();
        return round->ended || round->failed;
      },
      10min);
  if (!done || round->failed) return 1;
  std::printf("{\"cpuSeconds\":%.3f,\"seconds\":%.3f,\"picturesShown\":%zu}\n",
              cpuSeconds() - round->cpuAtStart,
              std::chrono::duration<double>(Clock::now() - round->startedAt).count(),
              round->shown.size());
  return 0;
}

int loop(const std::string& url, const std::shared_ptr<platform::Window>& window, double minutes) {
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration_cast<Clock::duration>(minutes * 1min);
  long afterFirstMinute = 0;
  long peak = 0;
  int rounds = 0;
  while (Clock::now() < end) {
    auto round = Round::start(url, window);
    if (!platform::MainLoop::runUntil([&] { return round->ended || round->failed; }, 1min) ||
        round->failed) {
      return 1;
    }
    ++rounds;
    round.reset();
    // What the round posted (its last pictures and messages) is freed before memory is read,
    // so each reading sees the loop between rounds rather than a round's leftovers.
    bool drained = false;
    platform::DispatchQueue::main()->async([&drained] { drained = true; });
    platform::MainLoop::runUntil([&] { return drained; }, 10s);
    if (!afterFirstMinute && Clock::now() - start >= 1min) afterFirstMinute = residentKilobytes();
    if (afterFirstMinute) peak = std::max(peak, residentKilobytes());
  }
  const long last = residentKilobytes();
  std::printf(
      "{\"rounds\":%d,\"rssAfterFirstMinuteKB\":%ld,\"rssAtEndKB\":%ld,\"peakKB\":%ld,"
      "\"growthKB\":%ld}\n",
      rounds, afterFirstMinute, last, peak, last - afterFirstMinute);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s play FILE | loop FILE MINUTES\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  const std::string url = std::string("file://") + argv[2];
  auto window = platform::Window::make({{0, 0}, {640, 360}});
  window->makeKeyAndVisible();
  if (mode == "play") return play(url, window);
  if (mode == "loop" && argc > 3) return loop(url, window, std::atof(argv[3]));
  std::fprintf(stderr, "unknown mode \"%s\"\n", mode.c_str());
  return 2;
}
