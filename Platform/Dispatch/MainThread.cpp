#include "Platform/Dispatch/MainThread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <string>

#include "Platform/Dispatch/FatalError.h"

namespace platform {

bool isMainThread() {
  return ::syscall(SYS_gettid) == ::getpid();
}

namespace detail {

void requireMainThread(std::string_view who) {
  // Asked once per thread: the answer never changes, and asking costs system calls, while
  // views check on every change to the tree.
  thread_local const bool onMainThread = isMainThread();
  if (!onMainThread) fatalError(std::string(who) + " is used on the main thread only");
}

}  // namespace detail
}  // namespace platform
