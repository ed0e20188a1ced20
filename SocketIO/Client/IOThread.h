#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

namespace socketio::detail {

// A thread of its own running one I/O context, for one manager's connection. The context
// lives as long as the thread needs it, so a thread that had to be let go (finish() past its
// deadline) still ends cleanly on its own.
//
// Made and finished by one owner; context() may be used from any thread until finish().
class IOThread {
 public:
  explicit IOThread(std::string name);
  // Finishes with a short deadline when finish() was not called.
  ~IOThread();
  IOThread(const IOThread&) = delete;
  IOThread& operator=(const IOThread&) = delete;

  [[nodiscard]] boost::asio::io_context& context();

  // True on the thread itself.
  [[nodiscard]] bool isCurrent() const;

  // Lets the context run out of work, waits up to `deadline` for that, then stops it and
  // waits a moment more. Answers true when the thread was joined; otherwise it is detached
  // and ends by itself. Never waits for itself: called on the thread, it detaches at once.
  bool finish(std::chrono::milliseconds deadline);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> guard_;
  std::thread thread_;
};

}  // namespace socketio::detail
