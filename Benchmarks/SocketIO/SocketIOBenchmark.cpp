// Measures our Socket.IO client against a server at a URL (the stand-in's, reached through
// BRELUM_CONNECT_TO with BRELUM_EXTRA_CA_FILE trusted), the way compare.mjs measures the node
// client:
//   - sequential acknowledged round trips: emit "ack" with one number, wait for the answer,
//     repeat; latency from emit to the answer's handler, on the main queue;
//   - pipelined emits: `pipelined` emits of "sink" without waiting, then one "ack"; the
//     rate is the number of emits over the time to that last answer.
// Prints one JSON line.
//
//   SocketIOBenchmark [url] [roundTrips] [pipelined]
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

constexpr int kWarmUp = 200;

double percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::ranges::sort(values);
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
  return values[index];
}

// Round trips one after the other, each started from the previous one's answer.
struct RoundTrips {
  std::shared_ptr<SocketIOClient> socket;
  int remaining = 0;
  int warmUp = 0;
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
      const auto elapsed = std::chrono::duration<double, std::micro>(Clock::now() - self->started);
      if (self->warmUp > 0) {
        --self->warmUp;
      } else {
        self->micros.push_back(elapsed.count());
        --self->remaining;
      }
      self->next(self);
    });
  }
};

}  // namespace

int main(int argc, char** argv) {
  const std::string url = argc > 1 ? argv[1] : "https://socket.brelum.io";
  const int roundTrips = argc > 2 ? std::atoi(argv[2]) : 5000;
  const int pipelined = argc > 3 ? std::atoi(argv[3]) : 100000;

  auto parsed = platform::URL::make(url);
  if (!parsed) {
    std::fprintf(stderr, "not a URL: %s\n", url.c_str());
    return 2;
  }
  auto manager =
      socketio::SocketManager::make(*parsed, {socketio::SocketIOClientOption::reconnects(false)});
  auto socket = manager->defaultSocket();
  bool connected = false;
  std::string problem;
  socket->on(SocketClientEvent::connect,
             [&](const std::vector<SocketData>&, const SocketAckEmitter&) { connected = true; });
  socket->on(SocketClientEvent::error,
             [&](const std::vector<SocketData>& data, const SocketAckEmitter&) {
               problem = data.empty() ? "error" : data[0].dump();
             });
  socket->connect();
  if (!platform::MainLoop::runUntil([&] { return connected || !problem.empty(); }, 10s) ||
      !connected) {
    std::fprintf(stderr, "could not connect: %s\n", problem.c_str());
    return 1;
  }

  auto trips = std::make_shared<RoundTrips>();
  trips->socket = socket;
  trips->remaining = roundTrips;
  trips->warmUp = kWarmUp;
  trips->next(trips);
  platform::MainLoop::runUntil([&] { return trips->remaining == 0; }, 120s);
  if (trips->failed || trips->remaining != 0) {
    std::fprintf(stderr, "round trips failed\n");
    return 1;
  }

  bool flushed = false;
  const auto started = Clock::now();
  Clock::time_point written;
  for (int i = 0; i + 1 < pipelined; ++i) socket->emit("sink", {i, "payload"});
  socket->emit("sink", {pipelined - 1, "payload"}, [&](auto) { written = Clock::now(); });
  const auto queued = Clock::now();
  socket->emitWithAck("ack", {"flush"}, 120s, [&](auto answer) { flushed = answer.has_value(); });
  platform::MainLoop::runUntil([&] { return flushed; }, 120s);
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  if (!flushed) {
    std::fprintf(stderr, "pipelined emits failed\n");
    return 1;
  }

  std::printf(
      "{\"client\":\"ours (C++)\",\"roundTrips\":%d,\"p50Us\":%.1f,\"p99Us\":%.1f,"
      "\"pipelined\":%d,\"seconds\":%.3f,\"emitsPerSecond\":%.0f,\"queuedSeconds\":%.3f,"
      "\"writtenSeconds\":%.3f}\n",
      roundTrips, percentile(trips->micros, 0.50), percentile(trips->micros, 0.99), pipelined,
      seconds, pipelined / seconds, std::chrono::duration<double>(queued - started).count(),
      std::chrono::duration<double>(written - started).count());
  return 0;
}
