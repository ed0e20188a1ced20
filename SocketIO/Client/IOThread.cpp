#include "SocketIO/Client/IOThread.h"

#include <pthread.h>

#include <condition_variable>
#include <mutex>

namespace socketio::detail {

struct IOThread::Shared {
  boost::asio::io_context io{1};
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
};

namespace {

// What is left once a stopped context gets this long to wind down.
constexpr std::chrono::milliseconds kGraceAfterStop{500};

}  // namespace

IOThread::IOThread(std::string name)
    : shared_(std::make_shared<Shared>()), guard_(shared_->io.get_executor()) {
  thread_ = std::thread([shared = shared_, name = std::move(name)] {
    // Linux thread names hold at most 15 characters.
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
    shared->io.run();
    {
      std::lock_guard lock(shared->mutex);
      shared->done = true;
    }
    shared->ended.notify_all();
  });
}

IOThread::~IOThread() {
  if (thread_.joinable()) finish(std::chrono::milliseconds(1000));
}

boost::asio::io_context& IOThread::context() {
  return shared_->io;
}

bool IOThread::isCurrent() const {
  return std::this_thread::get_id() == thread_.get_id();
}

bool IOThread::finish(std::chrono::milliseconds deadline) {
  if (!thread_.joinable()) return false;
  guard_.reset();
  if (isCurrent()) {
    shared_->io.stop();
    thread_.detach();
    return false;
  }
  std::unique_lock lock(shared_->mutex);
  if (!shared_->ended.wait_for(lock, deadline, [this] { return shared_->done; })) {
    shared_->io.stop();
    if (!shared_->ended.wait_for(lock, kGraceAfterStop, [this] { return shared_->done; })) {
      lock.unlock();
      thread_.detach();
      return false;
    }
  }
  lock.unlock();
  thread_.join();
  return true;
}

}  // namespace socketio::detail
