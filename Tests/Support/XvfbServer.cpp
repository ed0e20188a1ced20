#include "Tests/Support/XvfbServer.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Tests/Support/ChildProcess.h"

namespace testsupport {
namespace {

// Xvfb under eight parallel sanitizer-built test programs can be slow to come up; the wait
// only bounds a failure.
constexpr auto kStartDeadline = std::chrono::seconds(30);

}  // namespace

std::expected<std::unique_ptr<XvfbServer>, std::string> XvfbServer::start() {
  return start(Options{});
}

std::expected<std::unique_ptr<XvfbServer>, std::string> XvfbServer::start(const Options& options) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    return std::unexpected(std::string("could not make a pipe for Xvfb: ") + std::strerror(errno));
  }
  const auto screen = std::to_string(options.width) + "x" + std::to_string(options.height) + "x24";
  // It reports its display number on descriptor 3.
  const pid_t pid = spawnProcess({"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-dpi",
                                  std::to_string(options.dpi), "-nolisten", "tcp", "-terminate"},
                                 {{ends[1], 3}});
  const int error = errno;
  close(ends[1]);
  if (pid < 0) {
    close(ends[0]);
    return std::unexpected(std::string("could not run Xvfb (the xvfb package): ") +
                           std::strerror(error));
  }
  std::unique_ptr<XvfbServer> server(new XvfbServer);
  server->pid_ = pid;
  // Written once the server accepts connections, on the first display number it could take.
  const auto number = readLine(ends[0], kStartDeadline);
  close(ends[0]);
  if (!number || number->empty() || number->find_first_not_of("0123456789") != std::string::npos) {
    server->stop(std::chrono::seconds(1));
    return std::unexpected("Xvfb did not report a display within 30 s; its messages say why");
  }
  server->displayName_ = ":" + *number;
  server->client_ = XClient::open(server->displayName_);
  if (!server->client_) {
    server->stop(std::chrono::seconds(1));
    return std::unexpected("could not connect to Xvfb on " + server->displayName_ +
                           " or it lacks XTest");
  }
  return server;
}

XvfbServer::~XvfbServer() {
  stop();
}

void XvfbServer::makeCurrent() const {
  setenv("DISPLAY", displayName_.c_str(), 1);
  unsetenv("WAYLAND_DISPLAY");
}

int XvfbServer::stop(std::chrono::milliseconds deadline) {
  if (pid_ == 0) return waitStatus_;
  client_.reset();
  kill(pid_, SIGTERM);
  waitStatus_ = reapProcess(pid_, deadline);
  pid_ = 0;
  return waitStatus_;
}

}  // namespace testsupport
