#pragma once

#include <memory>

namespace brelum {
class BrelumCore;
}  // namespace brelum

namespace demo {

// Connects the facade's socket (after verification), emits an echo and shows it coming back,
// then asks the server to disconnect and shows the socket's own reconnect, and finally
// disconnects. Call it on the main thread. Answers whether each step happened.
bool showSocket(const std::shared_ptr<brelum::BrelumCore>& core);

}  // namespace demo
