#include "Examples/DemoHost/DemoSocket.h"

#include <chrono>
#include <functional>
#include <string>

#include "Classes/BrelumCore.h"
#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Foundation/Console.h"

namespace demo {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool waitFor(const std::string& what, const std::function<bool()>& done) {
  if (platform::MainLoop::runUntil(done, 20s)) return true;
  platform::Console::print("  " + what + ": no answer within 20 s");
  return false;
}

}  // namespace

bool showSocket(const std::shared_ptr<brelum::BrelumCore>& core) {
  using platform::Console;
  auto socket = core->socketManager();
  if (!socket) {
    Console::print("  No socket: the app is not verified");
    return false;
  }
  int connects = 0;
  int disconnects = 0;
  Clock::time_point disconnectedAt;
  std::string echoed;
  socket->subscribe(socketio::SocketClientEvent::connect, [&] { ++connects; });
  socket->subscribe(socketio::SocketClientEvent::disconnect, [&] {
    ++disconnects;
    disconnectedAt = Clock::now();
  });
  socket->subscribe(brelum::SocketManager::On{"echo"},
                    std::function<void(std::string)>([&](std::string text) { echoed = text; }));

  bool connected = false;
  socket->connect([&](bool ok) { connected = ok; });
  if (!waitFor("Socket connect", [&] { return connected; })) return false;
  Console::print("  Connected to the socket endpoint");

  socket->emit("echo", "hello from the demo host");
  if (!waitFor("Echo", [&] { return !echoed.empty(); })) return false;
  Console::print("  Echo received: " + echoed);

  // The server drops this client; the socket reconnects by itself a second later.
  socket->emit("disconnectMe", nullptr);
  if (!waitFor("Server-side disconnect", [&] { return disconnects == 1; })) return false;
  Console::print("  Disconnected by the server");
  if (!waitFor("Reconnect", [&] { return connects == 2; })) return false;
  const auto after = std::chrono::duration<double>(Clock::now() - disconnectedAt).count();
  Console::print("  Reconnected by itself " + std::to_string(after).substr(0, 4) + " s later");

  socket->disconnect();
  if (!waitFor("Disconnect", [&] { return disconnects == 2; })) return false;
  Console::print("  Disconnected by the host; no reconnect follows");
  return true;
}

}  // namespace demo
