#include "Platform/Foundation/Console.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace platform {
namespace {

struct SinkSlot {
  std::mutex mutex;
  std::shared_ptr<const Console::Sink> sink;
};

SinkSlot& slot() {
  static SinkSlot instance;
  return instance;
}

void writeToStandardOutput(std::string_view line) {
  std::string text(line);
  text.push_back('\n');
  // One write per line keeps concurrent lines whole.
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

void Console::print(std::string_view line) {
  std::shared_ptr<const Sink> sink;
  {
    std::lock_guard lock(slot().mutex);
    sink = slot().sink;
  }
  if (sink) {
    (*sink)(line);
  } else {
    writeToStandardOutput(line);
  }
}

Console::Sink Console::setSink(Sink sink) {
  auto next = sink ? std::make_shared<const Sink>(std::move(sink)) : nullptr;
  std::lock_guard lock(slot().mutex);
  auto previous = std::exchange(slot().sink, std::move(next));
  return previous ? *previous : Sink{};
}

struct ConsoleCapture::State {
  mutable std::mutex mutex;
  std::vector<std::string> lines;
};

ConsoleCapture::ConsoleCapture() : state_(std::make_shared<State>()) {
  previous_ = Console::setSink([state = state_](std::string_view line) {
    std::lock_guard lock(state->mutex);
    state->lines.emplace_back(line);
  });
}

ConsoleCapture::~ConsoleCapture() {
  Console::setSink(std::move(previous_));
}

std::vector<std::string> ConsoleCapture::lines() const {
  std::lock_guard lock(state_->mutex);
  return state_->lines;
}

}  // namespace platform
