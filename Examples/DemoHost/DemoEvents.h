#pragma once

#include <memory>

namespace brelum {
class BrelumCore;
}  // namespace brelum

namespace demo {

// Sends one event of each of the 18 kinds through the facade's tracker, waits for every
// delivery to end, then reads back what the cloud queue received (through the stand-in
// back end's control endpoint, reached by the queue's own host name) and prints the count,
// the event names and one document decoded. Call it on the main thread after login.
// Answers whether every kind reached the queue.
bool sendDemoEvents(const std::shared_ptr<brelum::BrelumCore>& core);

}  // namespace demo
