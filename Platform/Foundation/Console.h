#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The one way the framework writes lines to standard output. Each call writes one whole
// line, so lines from different threads never interleave mid-line.
//
// A sink can be installed in place of standard output (tests capture lines this way).
class Console {
 public:
  using Sink = std::function<void(std::string_view line)>;

  // Writes `line` and a newline.
  static void print(std::string_view line);

  // Routes lines to `sink` (standard output again when empty); answers the previous sink.
  static Sink setSink(Sink sink);
};

// Captures every console line for as long as it lives, then restores the previous sink.
class ConsoleCapture {
 public:
  ConsoleCapture();
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  [[nodiscard]] std::vector<std::string> lines() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
  Console::Sink previous_;
};

}  // namespace platform
