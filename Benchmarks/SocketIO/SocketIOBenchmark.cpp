// Measures our Socket.IO client the way node-client.mjs measures the node one, against a
// server at a URL (compare.mjs starts one that is cheap enough not to be the bottleneck,
// reached through BRELUM_CONNECT_TO with BRELUM_EXTRA_CA_FILE trusted). One phase per run:
//   acks N   sequential acknowledged round trips: emit "ack" with one number, wait for the
//            answer on the main queue, repeat; latency per trip;
//   emits N  N emits of "sink" without waiting, then one acknowledged emit; the rate is N
//            over the time to that answer.
// Both report the process's CPU time (every thread, user and system) over the phase per
// emit or trip, after a warm-up. Prints one JSON line.
//
//   SocketIOBenchmark <url> acks|emits <count>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Foundation/URL.h"
#include "SocketIO/SocketManager.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using socketio::SocketAckEmitter;
using socketio::SocketClientEvent;
using socketio::SocketData;
using socketio::SocketIOClient;

constexpr int kWarmUpTrips = 200;
constexpr int kWarmUpEmits = 5000;

double cpuMicros() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto micros = [](const timeval& t) {
    return t.tv_sec * 1e6 + static_cast<double>(t.tv_usec);
  };
  return micros(usage.ru_utime) + micros(usage.ru_stime);
}

double percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::ranges::sort(values);
  return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

// Round trips one after the other, each started from the previous one's answer.
struct RoundTrips {
  std::shared_ptr<SocketIOClient> socket;
  int remaining = 0;
  Clock::time_point started;
  std::vector<double> micros;
  bool failed = false;

  void next(const std::shared_ptr<RoundTrips>& self) {
    if (remaining == 0) return;
    started = Clock::now();
    socket->emitWithAck("ack", {remaining}, 10s, [self](auto answer) {
      if (!answer) {
        self->failed = true;
        self->remaining = 0;
        return;
      }
      self->micros.push_back(
          std::chrono::duration<double, std::micro>(Clock::now() - self->started).count());
      --self->remaining;
      self->next(self);
    });
  }
};

bool roundTrips(const std::shared_ptr<SocketIOClient>& socket, int count,
                std::vector<double>& micros) {
  auto trips = std::make_shared<RoundTrips>();
  trips->socket = socket;
  trips->remaining = count;
  trips->next(trips);
  platform::MainLoop::runUntil([&] { return trips->remaining == 0; }, 120s);
  micros = std::move(trips->micros);
  return !trips->failed && trips->remaining == 0;
}

bool pipelined(const std::shared_ptr<SocketIOClient>& socket, int count) {
  bool flushed = false;
  for (int i = 0; i < count; ++i) socket->emit("sink", {i, "payload"});
  socket->emitWithAck("ack", {"flush"}, 120s, [&](auto answer) { flushed = answer.has_value(); });
  platform::MainLoop::runUntil([&] { return flushed; }, 120s);
  return flushed;
}

std::shared_ptr<socketio::SocketManager> connect(const std::string& url) {
  auto parsed = platform::URL::make(url);
  if (!parsed) return nullptr;
  auto manager =
      socketio::SocketManager::make(*parsed, {socketio::SocketIOClientOption::reconnects(false)});
  bool connected = false;
  bool failed = false;
  manager->defaultSocket()->on(
      SocketClientEvent::connect,
      [&](const std::vector<SocketData>&, const SocketAckEmitter&) { connected = true; });
  manager->defaultSocket()->on(SocketClientEvent::error,
                               [&](const std::vector<SocketData>& data, const SocketAckEmitter&) {
                                 std::fprintf(stderr, "error: %s\n", data.at(0).dump().c_str());
                                 failed = true;
                               });
  manager->defaultSocket()->connect();
  platform::MainLoop::runUntil([&] { return connected || failed; }, 10s);
  return connected ? manager : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: SocketIOBenchmark <url> acks|emits <count>\n");
    return 2;
  }
  const std::string url = argv[1];
  const std::string mode = argv[2];
  const int count = std::atoi(argv[3]);
  auto manager = connect(url);
  if (!manager) {
    std::fprintf(stderr, "could not connect to %s\n", url.c_str());
    return 1;
  }
  const auto socket = manager->defaultSocket();
  std::vector<double> micros;
  const bool trips = mode == "acks";
  if (!(trips ? roundTrips(socket, kWarmUpTrips, micros) : pipelined(socket, kWarmUpEmits))) {
    std::fprintf(stderr, "warm-up failed\n");
    return 1;
  }

  const double cpuBefore = cpuMicros();
  const auto started = Clock::now();
  if (!(trips ? roundTrips(socket, count, micros) : pipelined(socket, count))) {
    std::fprintf(stderr, "%s failed\n", mode.c_str());
    return 1;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  const double cpu = cpuMicros() - cpuBefore;
  std::printf(
      "{\"client\":\"ours (C++)\",\"mode\":\"%s\",\"count\":%d,\"seconds\":%.3f,"
      "\"cpuUsEach\":%.2f,\"perSecond\":%.0f,\"p50Us\":%.1f,\"p99Us\":%.1f}\n",
      mode.c_str(), count, seconds, cpu / count, count / seconds, percentile(micros, 0.5),
      percentile(micros, 0.99));
  return 0;
}
