#pragma once

#include <sys/types.h>

#include <chrono>
#include <expected>
#include <memory>
#include <string>

#include "Tests/Support/XClient.h"

namespace testsupport {

// A virtual X server of a test's own: Xvfb on the first free display number, started and
// stopped like the stand-in back end. It answers once the server accepts connections
// (Xvfb reports its display number on a pipe only then), and it holds a connection of its
// own for the whole run: Xvfb runs with -terminate, so when this process dies however it
// dies, the kernel closes that connection and the server goes with it.
//
// Main thread only.
class XvfbServer {
 public:
  struct Options {
    int width = 1280;
    int height = 1024;
    // What the server reports as its pixel density (dots per inch).
    int dpi = 96;
  };

  // The error says why it could not start.
  [[nodiscard]] static std::expected<std::unique_ptr<XvfbServer>, std::string> start();
  [[nodiscard]] static std::expected<std::unique_ptr<XvfbServer>, std::string> start(
      const Options& options);

  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // ":<number>".
  [[nodiscard]] const std::string& displayName() const { return displayName_; }

  // Makes this server the display of this process from here on: DISPLAY names it and
  // WAYLAND_DISPLAY is unset, so what opens a window next opens it here.
  void makeCurrent() const;

  // The test's own connection: input through XTest, focus, pixels.
  [[nodiscard]] XClient& client() { return *client_; }

  // Ends the server (SIGTERM, SIGKILL after `deadline`) and answers its wait status; later
  // calls do nothing and answer the same.
  int stop(std::chrono::milliseconds deadline = std::chrono::seconds(5));

 private:
  XvfbServer() = default;

  pid_t pid_ = 0;
  int waitStatus_ = 0;
  std::string displayName_;
  std::unique_ptr<XClient> client_;
};

}  // namespace testsupport
