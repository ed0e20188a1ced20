#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Tests/Support/Backend.h"

namespace testsupport {

// A message the stand-in queue accepted, as it decoded and stored it.
struct QueueMessage {
  std::string messageId;
  std::string md5OfMessageBody;  // hex, as the queue answered it
  std::string queue;             // the path it was sent to
  std::string body;              // the decoded message body, exact bytes
};

// The path of the event queue on the stand-in, as the framework's queue URL names it.
inline constexpr std::string_view kEventQueuePath = "/000000000000/client-event-tracking";

// Every message the stand-in queue accepted since the last reset, oldest first. A failed
// read adds a test failure and answers none.
[[nodiscard]] std::vector<QueueMessage> queueMessages(const Backend& backend);

// The lower-case hex MD5 of `bytes`, as the queue service writes it.
[[nodiscard]] std::string md5Hex(std::string_view bytes);

}  // namespace testsupport
