#pragma once

#include <string_view>

namespace platform {

// True on the process's main thread, the one that runs the main queue.
[[nodiscard]] bool isMainThread();

namespace detail {

// Interface objects, media objects, the desktop and the main loop belong to the main thread;
// using one elsewhere is a programming error, which stops the process naming `who`.
void requireMainThread(std::string_view who);

}  // namespace detail
}  // namespace platform
