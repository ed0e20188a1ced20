#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Classes/Utils/DataSourceProtocol.h"

namespace brelum {

namespace detail {

template <class T>
concept StdHashable = requires(const T& value) {
  { std::hash<T>{}(value) } -> std::convertible_to<std::size_t>;
};

template <class T>
concept Streamable = requires(std::ostream& out, const T& value) {
  out << value;
};

// Every spelling of a string: a literal, a const char*, std::string, std::string_view.
template <class T>
concept Text = std::convertible_to<const T&, std::string_view>;

template <class T>
struct PointeeOf {};
template <class T>
struct PointeeOf<T*> {
  using type = T;
};
template <class T>
struct PointeeOf<std::shared_ptr<T>> {
  using type = T;
};

// Class instances reach a list as pointers (raw or shared); the instance is the observer.
template <class T>
concept InstancePointer = requires {
  typename PointeeOf<std::remove_cvref_t<T>>::type;
};

// An observer that DataSource::key can tell apart from other observers: text, a pointer to an
// instance, a value with a std::hash, or a value with an operator<<. Anything else would get
// one key for every value of its type, so distinct observers would silently replace one
// another; give such a type a std::hash or an operator<<, or subscribe by pointer.
template <class T>
concept ObserverWithKey = Text<T> || InstancePointer<T> || StdHashable<T> || Streamable<T>;

}  // namespace detail

// A small observable list for interface code: an ordered array and an optional title; every
// subscribed block runs after each change of the array, with the array before that change
// kept in `old`.
//
// Not thread-safe: use a list from one thread at a time. Blocks run synchronously on the
// thread that changed the list, before the changing call returns. Blocks are held strongly
// until unsubscribed or until the list goes, so a block that captures its observer strongly
// keeps it alive.
template <std::equality_comparable T>
class DataSource : public DataSourceProtocol {
 public:
  using Block = std::function<void()>;
  using Index = std::ptrdiff_t;

  static std::shared_ptr<DataSource> make(std::vector<T> items = {},
                                          std::optional<std::string> title = std::nullopt) {
    return std::shared_ptr<DataSource>(new DataSource(std::move(items), std::move(title)));
  }

  // The key under which `observer`'s block is kept; two observers with the same key are one
  // subscriber:
  //   - text, however it is spelt: the decimal text of the hash of its characters, so equal
  //     strings share a key whether literal, const char*, std::string or std::string_view;
  //   - anything else given by raw or shared pointer: the hash of the instance when it is of a
  //     class with a std::hash, else the decimal text of its address (its identity);
  //   - a value whose type has a std::hash: the decimal text of its hash, so equal values
  //     share a key (numbers, ...);
  //   - anything else with an operator<<: the text it writes.
  // A null pointer (const char* included) is never read: every null observer keys as the
  // address 0.
  template <detail::ObserverWithKey Observer>
  [[nodiscard]] static std::string key(const Observer& observer) {
    using Plain = std::remove_cvref_t<Observer>;
    if constexpr (detail::InstancePointer<Plain>) {
      if (observer == nullptr) return "0";
    }
    if constexpr (detail::Text<Plain>) {
      return std::to_string(std::hash<std::string_view>{}(std::string_view(observer)));
    } else if constexpr (detail::InstancePointer<Plain>) {
      using Instance = std::remove_cv_t<typename detail::PointeeOf<Plain>::type>;
      const auto* instance = std::to_address(observer);
      if constexpr (std::is_class_v<Instance> && detail::StdHashable<Instance>) {
        return std::to_string(std::hash<Instance>{}(*instance));
      } else {
        return std::to_string(reinterpret_cast<std::uintptr_t>(instance));
      }
    } else if constexpr (detail::StdHashable<Plain>) {
      return std::to_string(std::hash<Plain>{}(observer));
    } else {
      std::ostringstream text;
      text << observer;
      return text.str();
    }
  }

  // Stores `block` under `observer`'s key, replacing a block stored there before.
  template <detail::ObserverWithKey Observer>
  void subscribe(const Observer& observer, Block block) {
    didUpdate_.insert_or_assign(key(observer), std::move(block));
  }

  template <detail::ObserverWithKey Observer>
  void unsubscribe(const Observer& observer) {
    didUpdate_.erase(key(observer));
  }

  [[nodiscard]] const std::vector<T>& items() const noexcept { return items_; }

  [[nodiscard]] const std::optional<std::string>& title() const noexcept { return title_; }
  void setTitle(std::optional<std::string> title) { title_ = std::move(title); }

  [[nodiscard]] const std::optional<std::vector<T>>& old() const noexcept { return old_; }
  void setOld(std::optional<std::vector<T>> old) { old_ = std::move(old); }

  virtual void append(T item) {
    auto next = items_;
    next.push_back(std::move(item));
    setItems(std::move(next));
  }

  virtual void append(const std::vector<T>& items) {
    auto next = items_;
    next.insert(next.end(), items.begin(), items.end());
    setItems(std::move(next));
  }

  virtual void set(std::vector<T> items) { setItems(std::move(items)); }

  virtual void clear() { setItems({}); }

  [[nodiscard]] virtual Index count() const { return Index(items_.size()); }

  // Nothing for an index outside the list, negative ones included.
  [[nodiscard]] virtual std::optional<T> item(Index index) const {
    if (index < 0 || index >= count()) return std::nullopt;
    return items_[std::size_t(index)];
  }

  // An index at or past the end appends; so does a negative one, which has no place in the
  // list to name.
  virtual void insert(T item, Index index) {
    if (index < 0 || index >= count()) return append(std::move(item));
    auto next = items_;
    next.insert(next.begin() + index, std::move(item));
    setItems(std::move(next));
  }

  // Removes every element equal to `item`, the first remaining one at a time, each removal a
  // change of its own: subscribers see one pass per removed element. Named `deleteItem`
  // because the member it stands for is called `delete`, a C++ keyword.
  void deleteItem(const T& item) {
    for (;;) {
      auto found = std::find(items_.begin(), items_.end(), item);
      if (found == items_.end()) return;
      auto next = items_;
      next.erase(next.begin() + (found - items_.begin()));
      setItems(std::move(next));
    }
  }

 protected:
  DataSource(std::vector<T> items, std::optional<std::string> title)
      : title_(std::move(title)), items_(std::move(items)) {}

 private:
  void setItems(std::vector<T> next) {
    old_ = std::move(items_);
    items_ = std::move(next);
    // A block may subscribe or unsubscribe others; that takes effect from the next change.
    const auto blocks = didUpdate_;
    for (const auto& [key, block] : blocks) {
      if (block) block();
    }
  }

  std::unordered_map<std::string, Block> didUpdate_;
  std::optional<std::string> title_;
  std::optional<std::vector<T>> old_;
  std::vector<T> items_;
};

}  // namespace brelum
