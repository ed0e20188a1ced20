#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>

#include <boost/container/deque.hpp>

#include "Classes/EventTracker/Gateway/BrelumAPI/WaitingEvent.h"

namespace platform {
class DispatchQueue;
}

namespace brelum {

// The events handed to the cloud-queue gateways that wait for their exchange with the queue.
//
// A host may send thousands of events at once, faster than the queue takes them. Each event
// waits here as a WaitingEvent; its gateway makes its document and request
// (BrelumEventTrackingAPI::send) only when its turn comes, on a serial queue of the
// outbox's own, never on the sender's thread. At most kMaximumInFlight exchanges run at
// once, so that the large parts of an event (the document and the request URL that carries
// it, a few kilobytes) exist for a few dozen events at a time instead of for the whole
// burst. Events start in the order they were posted.
//
// A queue that does not answer would hold the burst back for a time-out per window. So
// after an exchange that got no HTTP response at all (no connection, time-out) the window
// stays open until one gets a response: every waiting event goes, and the HTTP session's
// own connection cap and time-outs apply to them as if they had been sent at once.
//
// Memory: the waiting events are kept in blocks of many, and the outbox lets go of its
// storage once it is empty. Still, a burst is thousands of small blocks (each event's
// record, its completion, its exchange) freed on other threads than the ones that made
// them, and the few that the allocator's and the threads' caches keep afterwards lie
// anywhere in the heaps; glibc gives memory back by itself only from the top of a heap, so
// the megabytes a burst freed would stay in the process. Once a burst that had at least
// kTrimAfterWaiting events waiting has drained, the outbox has the allocator give back its
// free memory, on the outbox's queue. Events that trickle in never wait in such numbers,
// so a host that sends now and then pays nothing for it.
//
// Threads: post() and Place::release() from any thread; events are sent from the outbox's
// serial queue. At process exit the outbox starts nothing more: the event being sent is
// awaited so that none reaches the HTTP session while that session is destroyed, and the
// waiting ones are released unsent, like completions posted to a main queue that no longer
// runs.
class EventOutbox : public std::enable_shared_from_this<EventOutbox> {
 public:
  // Exchanges running at once: enough that the HTTP session's few connections to the queue
  // always have the next request ready while completions travel through the main queue.
  static constexpr std::size_t kMaximumInFlight = 32;

  // Events waiting at once that make a burst worth giving memory back after: some
  // hundred kilobytes.
  static constexpr std::size_t kTrimAfterWaiting = 1000;

  // How an event's exchange ended, as far as the window is concerned.
  enum class Ending {
    notSent,     // refused before any request; says nothing about the queue
    answered,    // an HTTP response arrived, whatever its status
    unanswered,  // no HTTP response: no connection, a time-out, a dropped connection
  };

  // An event's place among the exchanges in flight. Copyable so that it can ride in a
  // completion; release it exactly once, when the exchange has ended.
  class Place {
   public:
    void release(Ending ending) const;

   private:
    friend class EventOutbox;
    explicit Place(std::shared_ptr<EventOutbox> outbox) : outbox_(std::move(outbox)) {}
    std::shared_ptr<EventOutbox> outbox_;
  };

  // The process's outbox.
  [[nodiscard]] static const std::shared_ptr<EventOutbox>& shared();

  ~EventOutbox();
  EventOutbox(const EventOutbox&) = delete;
  EventOutbox& operator=(const EventOutbox&) = delete;

  // Queues `event`, which is sent from the outbox's queue when a place is free.
  void post(WaitingEvent event);

 private:
  class Closer;

  EventOutbox();

  [[nodiscard]] bool hasRoom() const;  // needs mutex_
  // Schedules a drain unless one is pending or nothing could start; needs mutex_.
  [[nodiscard]] bool claimDrain();
  void scheduleDrain();
  void drain();
  void release(Ending ending);
  void close();

  // Blocks of 64: an event is a few hundred bytes.
  using Waiting = boost::container::deque<
      WaitingEvent, void, boost::container::deque_options<boost::container::block_size<64>>::type>;

  const std::shared_ptr<platform::DispatchQueue> queue_;
  std::mutex mutex_;
  std::condition_variable drained_;
  Waiting waiting_;           // guarded by mutex_
  std::size_t inFlight_ = 0;  // guarded by mutex_
  bool answering_ = true;     // guarded by mutex_; false after an unanswered exchange
  bool draining_ = false;     // guarded by mutex_; a drain is scheduled or running
  bool closed_ = false;       // guarded by mutex_
  std::size_t deepest_ = 0;   // guarded by mutex_; most events waiting since the last trim
};

}  // namespace brelum
