#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <utility>

namespace socketio::detail {

// The bytes of a manager's packets that were accepted for sending and are not written yet,
// across all its sockets: a host that emits faster than the network drains meets this bound
// instead of growing memory without limit. Any thread may reserve; a reservation gives its
// bytes back when it is destroyed, which happens once its packet is written or has failed.
class SendBudget : public std::enable_shared_from_this<SendBudget> {
 public:
  class Reservation {
   public:
    Reservation() = default;
    Reservation(Reservation&& other) noexcept;
    Reservation& operator=(Reservation&& other) noexcept;
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;
    ~Reservation();

    // The bytes, now counted by whoever holds the packet, which gives them back through
    // SendBudget::release(); the reservation gives back nothing.
    [[nodiscard]] std::size_t handOver() { return std::exchange(bytes_, 0); }

   private:
    friend class SendBudget;
    Reservation(std::shared_ptr<SendBudget> budget, std::size_t bytes)
        : budget_(std::move(budget)), bytes_(bytes) {}
    void release();

    std::shared_ptr<SendBudget> budget_;
    std::size_t bytes_ = 0;
  };

  [[nodiscard]] static std::shared_ptr<SendBudget> make(std::size_t limit);

  // Nothing when `bytes` more would pass the limit; what is reserved already stays.
  [[nodiscard]] std::optional<Reservation> reserve(std::size_t bytes);
  // Gives back bytes handed over from reservations.
  void release(std::size_t bytes) { used_.fetch_sub(bytes, std::memory_order_relaxed); }

 private:
  explicit SendBudget(std::size_t limit) : limit_(limit) {}

  const std::size_t limit_;
  std::atomic<std::size_t> used_{0};
};

}  // namespace socketio::detail
