#include "SocketIO/Engine/SendBudget.h"

#include <utility>

namespace socketio::detail {

SendBudget::Reservation::Reservation(Reservation&& other) noexcept
    : budget_(std::move(other.budget_)), bytes_(std::exchange(other.bytes_, 0)) {
}

SendBudget::Reservation& SendBudget::Reservation::operator=(Reservation&& other) noexcept {
  if (this != &other) {
    release();
    budget_ = std::move(other.budget_);
    bytes_ = std::exchange(other.bytes_, 0);
  }
  return *this;
}

SendBudget::Reservation::~Reservation() {
  release();
}

void SendBudget::Reservation::release() {
  if (auto budget = std::exchange(budget_, nullptr)) budget->release(std::exchange(bytes_, 0));
}

std::shared_ptr<SendBudget> SendBudget::make(std::size_t limit) {
  return std::shared_ptr<SendBudget>(new SendBudget(limit));
}

std::optional<SendBudget::Reservation> SendBudget::reserve(std::size_t bytes) {
  auto used = used_.load(std::memory_order_relaxed);
  do {
    if (bytes > limit_ || used > limit_ - bytes) return std::nullopt;
  } while (!used_.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
  return Reservation(shared_from_this(), bytes);
}

}  // namespace socketio::detail
