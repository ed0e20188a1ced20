#include "Classes/Utils/DataSource.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace brelum {
namespace {

using Strings = std::vector<std::string>;

// Records what every pass saw, so a test can check the count and the before/after arrays.
struct Recorder {
  struct Pass {
    Strings items;
    std::optional<Strings> old;
  };
  std::vector<Pass> passes;

  void attach(const std::shared_ptr<DataSource<std::string>>& list, const std::string& as) {
    list->subscribe(as, [this, raw = list.get()] { passes.push_back({raw->items(), raw->old()}); });
  }
};

// Deleting removes each match in a pass of its own.
TEST(DataSourceTest, EveryMutationIsOnePassWithTheArrayBeforeItInOld) {
  auto list = DataSource<std::string>::make({"a"}, "Title");
  Recorder seen;
  seen.attach(list, "observer");
  EXPECT_TRUE(seen.passes.empty());
  EXPECT_FALSE(list->old());

  list->append("b");
  list->append(Strings{});
  list->append(Strings{"c", "d"});
  list->set({"x", "y"});
  list->set({"x", "y"});
  list->insert("z", 1);
  list->insert("x", 9);
  list->deleteItem("x");
  list->deleteItem("absent");
  list->clear();
  list->clear();

  const std::vector<Recorder::Pass> expected = {
      {{"a", "b"}, Strings{"a"}},
      {{"a", "b"}, Strings{"a", "b"}},
      {{"a", "b", "c", "d"}, Strings{"a", "b"}},
      {{"x", "y"}, Strings{"a", "b", "c", "d"}},
      {{"x", "y"}, Strings{"x", "y"}},
      {{"x", "z", "y"}, Strings{"x", "y"}},
      {{"x", "z", "y", "x"}, Strings{"x", "z", "y"}},
      {{"z", "y", "x"}, Strings{"x", "z", "y", "x"}},
      {{"z", "y"}, Strings{"z", "y", "x"}},
      {{}, Strings{"z", "y"}},
      {{}, Strings{}},
  };
  ASSERT_EQ(seen.passes.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(seen.passes[i].items, expected[i].items) << "pass " << i;
    EXPECT_EQ(seen.passes[i].old, expected[i].old) << "pass " << i;
  }
  EXPECT_EQ(list->title(), "Title");
}

TEST(DataSourceTest, IndexesOutsideTheListAnswerNothingOrAppend) {
  auto list = DataSource<int>::make({1, 2});
  EXPECT_EQ(list->item(1), 2);
  EXPECT_EQ(list->item(list->count()), std::nullopt);
  EXPECT_EQ(list->item(-1), std::nullopt);

  list->insert(5, 5);
  list->insert(6, -1);
  list->insert(0, 0);
  EXPECT_EQ(list->items(), (std::vector<int>{0, 1, 2, 5, 6}));
}

struct Plain {};  // neither hashable nor printable

TEST(DataSourceTest, ObserversWithOneKeyAreOneSubscriber) {
  auto list = DataSource<int>::make();
  int first = 0, second = 0, instances = 0;

  list->subscribe(std::string("screen"), [&] { ++first; });
  list->subscribe(std::string("screen"), [&] { ++second; });  // equal value: replaces
  auto a = std::make_shared<Plain>();
  auto b = std::make_shared<Plain>();
  list->subscribe(a, [&] { ++instances; });
  list->subscribe(b, [&] { ++instances; });        // another instance: a subscriber of its own
  list->subscribe(a.get(), [&] { ++instances; });  // the same instance by raw pointer: replaces

  list->append(1);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(instances, 2);

  list->unsubscribe(std::string("screen"));
  list->unsubscribe(b);
  list->unsubscribe(42);  // never subscribed: nothing happens
  list->append(2);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(instances, 3);
}

// Each row names the fault it catches.
TEST(DataSourceTest, KeysTellObserversApartByTextValueOrIdentityOnly) {
  using List = DataSource<int>;
  const char* screen = "screen";
  const char* start = "start";
  const char* x = "x";
  const char* noText = nullptr;
  const std::shared_ptr<Plain> noInstance;
  struct Row {
    const char* fault;
    std::string first, second;
    bool same;
  };
  const Row rows[] = {
      {"a const char* keyed by its first character", List::key(screen), List::key(start), false},
      {"a literal keyed apart from a std::string", List::key("x"), List::key(std::string("x")),
       true},
      {"a const char* keyed apart from a std::string", List::key(x), List::key(std::string("x")),
       true},
      {"a string_view keyed apart from a std::string", List::key(std::string_view("x")),
       List::key(std::string("x")), true},
      // Both read nothing, so neither crashes under the sanitizers.
      {"a null pointer read", List::key(noText), List::key(noInstance), true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fault);
    EXPECT_EQ(row.first == row.second, row.same);
  }
}

template <class Observer>
concept Subscribable = requires(DataSource<int>& list, const Observer& observer) {
  list.subscribe(observer, [] {});
};
// A value with neither a hash nor a text would share its key with every other value of its
// type; it is refused when compiled, by pointer it is an identity.
static_assert(!Subscribable<Plain>);
static_assert(Subscribable<std::shared_ptr<Plain>>);

TEST(DataSourceTest, SubscriptionsChangedDuringAPassTakeEffectNextTime) {
  auto list = DataSource<int>::make();
  int late = 0, removed = 0;
  list->subscribe(std::string("remover"), [&] { list->unsubscribe(std::string("victim")); });
  list->subscribe(std::string("victim"), [&] { ++removed; });
  list->subscribe(std::string("adder"),
                  [&] { list->subscribe(std::string("late"), [&] { ++late; }); });

  list->append(1);
  EXPECT_EQ(removed, 1);  // still in this pass's snapshot, whatever the order
  EXPECT_EQ(late, 0);

  list->append(2);
  EXPECT_EQ(removed, 1);
  EXPECT_EQ(late, 1);
}

}  // namespace
}  // namespace brelum
