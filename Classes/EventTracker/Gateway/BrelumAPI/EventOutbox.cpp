#include "Classes/EventTracker/Gateway/BrelumAPI/EventOutbox.h"

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>

#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPI.h"
#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Network/HTTPSession.h"

namespace brelum {
namespace {

// How long exit waits for an event being handed to the HTTP session; that takes
// microseconds, unless every thread of the pool is busy elsewhere.
constexpr std::chrono::seconds kCloseGrace{2};

}  // namespace

// Closes the process's outbox when statics are destroyed at exit.
class EventOutbox::Closer {
 public:
  Closer() : outbox(new EventOutbox) {}
  ~Closer() { outbox->close(); }
  Closer(const Closer&) = delete;
  Closer& operator=(const Closer&) = delete;

  const std::shared_ptr<EventOutbox> outbox;
};

const std::shared_ptr<EventOutbox>& EventOutbox::shared() {
  // Statics are destroyed in the reverse order of their making. The HTTP session that
  // carries the exchanges is made first, so the outbox has closed, its last event handed
  // over, before that session goes.
  static const Closer closer = [] {
    (void)platform::HTTPSession::defaultSession();
    return Closer();
  }();
  return closer.outbox;
}

EventOutbox::EventOutbox()
    : queue_(platform::DispatchQueue::makeSerial("brelum.events.outbox",
                                                 platform::DispatchQoS::utility)) {
}

EventOutbox::~EventOutbox() = default;

void EventOutbox::Place::release(Ending ending) const {
  outbox_->release(ending);
}

void EventOutbox::post(WaitingEvent event) {
  bool schedule = false;
  {
    std::lock_guard lock(mutex_);
    waiting_.push_back(std::move(event));
    deepest_ = std::max(deepest_, waiting_.size());
    schedule = claimDrain();
  }
  if (schedule) scheduleDrain();
}

bool EventOutbox::hasRoom() const {
  return inFlight_ < kMaximumInFlight || !answering_;
}

bool EventOutbox::claimDrain() {
  if (draining_ || closed_ || waiting_.empty() || !hasRoom()) return false;
  draining_ = true;
  return true;
}

void EventOutbox::scheduleDrain() {
  queue_->async([self = shared_from_this()] { self->drain(); });
}

void EventOutbox::drain() {
  for (;;) {
    std::optional<WaitingEvent> next;
    Waiting emptied;
    {
      std::lock_guard lock(mutex_);
      // An emptied outbox lets go of its blocks and their index, made while the burst came
      // in; kept, they would hold the sender's heap above what the burst freed.
      if (waiting_.empty()) emptied.swap(waiting_);
      if (closed_ || waiting_.empty() || !hasRoom()) {
        draining_ = false;
        drained_.notify_all();
        return;
      }
      next.emplace(std::move(waiting_.front()));
      waiting_.pop_front();
      ++inFlight_;
    }
    BrelumEventTrackingAPI::send(std::move(*next), Place(shared_from_this()));
  }
}

void EventOutbox::release(Ending ending) {
  bool schedule = false;
  bool trim = false;
  {
    std::lock_guard lock(mutex_);
    --inFlight_;
    if (ending != Ending::notSent) answering_ = ending == Ending::answered;
    schedule = claimDrain();
    trim = inFlight_ == 0 && waiting_.empty() && deepest_ >= kTrimAfterWaiting;
    if (trim) deepest_ = 0;
  }
  if (schedule) scheduleDrain();
  if (trim) queue_->async([] { (void)malloc_trim(0); });
}

void EventOutbox::close() {
  Waiting unsent;
  {
    std::unique_lock lock(mutex_);
    closed_ = true;
    (void)drained_.wait_for(lock, kCloseGrace, [this] { return !draining_; });
    unsent.swap(waiting_);
  }
}

}  // namespace brelum
