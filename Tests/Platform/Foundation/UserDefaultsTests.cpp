#include "Platform/Foundation/UserDefaults.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "Platform/Foundation/Bundle.h"

extern char** environ;

namespace fs = std::filesystem;
using platform::UserDefaults;
using platform::UserDefaultsError;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Value = std::variant<Bytes, std::string, double>;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, std::string_view contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

// Tells -0.0 from 0.0 and takes any NaN as equal to any NaN.
bool sameNumber(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

void set(UserDefaults& defaults, const std::string& key, const Value& value) {
  auto result = std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, Bytes>) return defaults.setData(key, v);
        if constexpr (std::is_same_v<T, std::string>) return defaults.setString(key, v);
        if constexpr (std::is_same_v<T, double>) return defaults.setDouble(key, v);
      },
      value);
  ASSERT_TRUE(result.has_value());
}

// Checks that `key` holds `value` and that the getters of the other types answer nothing.
void expectValue(const UserDefaults& defaults, const std::string& key, const Value& value) {
  if (const auto* bytes = std::get_if<Bytes>(&value)) {
    EXPECT_EQ(defaults.dataForKey(key), *bytes);
  } else {
    EXPECT_EQ(defaults.dataForKey(key), std::nullopt);
  }
  if (const auto* text = std::get_if<std::string>(&value)) {
    EXPECT_EQ(defaults.stringForKey(key), *text);
  } else {
    EXPECT_EQ(defaults.stringForKey(key), std::nullopt);
  }
  if (const auto* number = std::get_if<double>(&value)) {
    auto stored = defaults.doubleForKey(key);
    ASSERT_TRUE(stored);
    EXPECT_TRUE(sameNumber(*stored, *number)) << *stored << " vs " << *number;
  } else {
    EXPECT_EQ(defaults.doubleForKey(key), std::nullopt);
  }
}

class UserDefaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "defaults-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    store_ = folder_ / "Config" / "UserDefaults.json";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  // A fresh object reads the file again; the previous one must be gone for that.
  std::shared_ptr<UserDefaults> reopen(std::shared_ptr<UserDefaults>& defaults) {
    defaults.reset();
    return UserDefaults::make(store_);
  }

  // Starts the writer program on the store; its standard output comes back through `out`.
  pid_t spawnWriter(const std::vector<std::string>& arguments, int& out) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);

    std::vector<std::string> argStrings{BRELUM_USER_DEFAULTS_WRITER};
    argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envStrings{"BRELUM_USER_DEFAULTS_PATH=" + store_.string()};
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (!std::string_view(*entry).starts_with("BRELUM_USER_DEFAULTS_PATH=")) {
        envStrings.emplace_back(*entry);
      }
    }
    auto pointers = [](std::vector<std::string>& strings) {
      std::vector<char*> result;
      for (auto& s : strings) result.push_back(s.data());
      result.push_back(nullptr);
      return result;
    };
    auto argv = pointers(argStrings);
    auto envp = pointers(envStrings);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    out = pipeEnds[0];
    return pid;
  }

  // Reads one line, waiting at most 60 s for it; empty at end of output or on timeout.
  static std::string readLine(int fd) {
    std::string line;
    char c = 0;
    pollfd waitFor{fd, POLLIN, 0};
    while (::poll(&waitFor, 1, 60'000) > 0 && ::read(fd, &c, 1) == 1) {
      if (c == '\n') return line;
      line.push_back(c);
    }
    return line;
  }

  fs::path folder_;
  fs::path store_;
};

struct ValueCase {
  std::string label;
  Value value;
};

class UserDefaultsValues : public UserDefaultsTest,
                           public ::testing::WithParamInterface<ValueCase> {};

TEST_P(UserDefaultsValues, SurviveANewObjectWithTheirType) {
  const auto& value = GetParam().value;
  auto defaults = UserDefaults::make(store_);
  set(*defaults, "key", value);
  expectValue(*defaults, "key", value);
  defaults = reopen(defaults);
  expectValue(*defaults, "key", value);
}

Bytes allBytes() {
  Bytes bytes(256);
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Types, UserDefaultsValues,
    ::testing::Values(ValueCase{"EmptyText", std::string()},
                      ValueCase{"UnicodeText", std::string("Grüße ✓ \"quoted\"\n\ttab \\ slash")},
                      ValueCase{"TextWithNul", std::string("a\0b", 3)},
                      ValueCase{"NegativeZero", -0.0}, ValueCase{"Integer", 9007199254740993.0},
                      ValueCase{"Infinity", std::numeric_limits<double>::infinity()},
                      ValueCase{"NaN", std::numeric_limits<double>::quiet_NaN()},
                      ValueCase{"NoBytes", Bytes{}}, ValueCase{"OneByte", Bytes{0xFF}},
                      ValueCase{"TwoBytes", Bytes{0x00, 0x10}},
                      ValueCase{"ThreeBytes", Bytes{1, 2, 3}}, ValueCase{"EveryByte", allBytes()}),
    [](const auto& info) { return info.param.label; });

TEST_F(UserDefaultsTest, ChangesReplaceAndRemoveWhatAnotherObjectReads) {
  auto defaults = UserDefaults::make(store_);
  EXPECT_EQ(UserDefaults::make(folder_ / "Config" / "." / "UserDefaults.json"), defaults);
  set(*defaults, "kept", std::string("stays"));
  set(*defaults, "changed", std::string("text"));
  set(*defaults, "changed", 2.5);
  set(*defaults, "removed", Bytes{1});
  EXPECT_TRUE(defaults->removeObject("removed"));
  EXPECT_TRUE(defaults->removeObject("never there"));

  defaults = reopen(defaults);
  expectValue(*defaults, "kept", std::string("stays"));
  expectValue(*defaults, "changed", 2.5);
  EXPECT_EQ(defaults->dataForKey("removed"), std::nullopt);
  EXPECT_EQ(defaults->path(), store_);
}

TEST_F(UserDefaultsTest, TextThatIsNotUTF8IsRefusedAndChangesNothing) {
  auto defaults = UserDefaults::make(store_);
  EXPECT_EQ(defaults->setString("key", "\xff\xfe"),
            std::unexpected(UserDefaultsError::invalidText));
  EXPECT_EQ(defaults->setDouble("\xc3", 1), std::unexpected(UserDefaultsError::invalidText));
  EXPECT_TRUE(defaults->removeObject("\xc3"));
  EXPECT_EQ(defaults->stringForKey("key"), std::nullopt);
  EXPECT_FALSE(fs::exists(store_));
}

TEST_F(UserDefaultsTest, UnwritableStoreKeepsTheValueForThisProcessAndSaysSo) {
  writeFile(folder_ / "file", "a file where a folder should be");
  store_ = folder_ / "file" / "UserDefaults.json";
  auto defaults = UserDefaults::make(store_);
  EXPECT_EQ(defaults->setString("key", "value"), std::unexpected(UserDefaultsError::writeFailed));
  EXPECT_EQ(defaults->stringForKey("key"), "value");
}

TEST_F(UserDefaultsTest, ConcurrentChangesAllReachTheFile) {
  auto defaults = UserDefaults::make(store_);
  std::vector<std::jthread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        auto key = std::to_string(t) + "." + std::to_string(i);
        EXPECT_TRUE(defaults->setDouble(key, t * 100 + i));
        EXPECT_EQ(defaults->doubleForKey(key), t * 100 + i);
      }
    });
  }
  writers.clear();
  defaults = reopen(defaults);
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 10; ++i) {
      EXPECT_EQ(defaults->doubleForKey(std::to_string(t) + "." + std::to_string(i)), t * 100 + i);
    }
  }
}

TEST_F(UserDefaultsTest, TemporariesLeftByAKilledWriterAreRemovedOnceStale) {
  fs::create_directories(store_.parent_path());
  const auto stale = store_.parent_path() / "UserDefaults.json.tmp-Ab3dE9";
  const auto recent = store_.parent_path() / "UserDefaults.json.tmp-Zx81qQ";
  const auto unrelated = store_.parent_path() / "UserDefaults.json.tmp-longer-name";
  for (const auto& path : {stale, recent, unrelated}) writeFile(path, "{");
  const auto hourAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
  fs::last_write_time(stale, hourAgo);
  fs::last_write_time(unrelated, hourAgo);

  EXPECT_EQ(UserDefaults::make(store_)->stringForKey("key"), std::nullopt);
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(recent));
  EXPECT_TRUE(fs::exists(unrelated));
}

// Sets or unsets an environment variable for as long as it lives.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(UserDefaultsPathTest, StandardStoreFollowsTheEnvironmentAndTheBundleIdentifier) {
  const auto application = platform::Bundle::main()->bundleIdentifier();
  ScopedEnvironment home("HOME", "/home/someone");
  {
    ScopedEnvironment path("BRELUM_USER_DEFAULTS_PATH", "/srv/app/defaults.json");
    ScopedEnvironment xdg("XDG_CONFIG_HOME", "/xdg");
    EXPECT_EQ(UserDefaults::standardPath(), "/srv/app/defaults.json");
  }
  ScopedEnvironment path("BRELUM_USER_DEFAULTS_PATH", nullptr);
  {
    ScopedEnvironment xdg("XDG_CONFIG_HOME", "/xdg");
    EXPECT_EQ(UserDefaults::standardPath(), fs::path("/xdg") / application / "UserDefaults.json");
  }
  for (const char* ignored : {"relative/config", "", static_cast<const char*>(nullptr)}) {
    ScopedEnvironment xdg("XDG_CONFIG_HOME", ignored);
    EXPECT_EQ(UserDefaults::standardPath(),
              fs::path("/home/someone/.config") / application / "UserDefaults.json");
  }
  platform::Bundle::setMainInfoDictionary({{"CFBundleIdentifier", "../../etc"}});
  EXPECT_EQ(UserDefaults::standardPath(),
            fs::path("/home/someone/.config/.._.._etc/UserDefaults.json"));
  platform::Bundle::setMainInfoDictionary({{"CFBundleIdentifier", ".."}});
  EXPECT_EQ(UserDefaults::standardPath(),
            fs::path("/home/someone/.config/application/UserDefaults.json"));
  platform::Bundle::setMainInfoDictionary({});
}

struct BrokenCase {
  std::string label;
  std::string contents;
};

class UserDefaultsBrokenStore : public UserDefaultsTest,
                                public ::testing::WithParamInterface<BrokenCase> {};

TEST_P(UserDefaultsBrokenStore, ReadsAsEmptyAndIsReplacedByTheNextChange) {
  fs::create_directories(store_.parent_path());
  writeFile(store_, GetParam().contents);
  auto defaults = UserDefaults::make(store_);
  EXPECT_EQ(defaults->stringForKey("good"), std::nullopt);
  EXPECT_EQ(defaults->dataForKey("bad"), std::nullopt);
  EXPECT_EQ(defaults->doubleForKey("bad"), std::nullopt);

  set(*defaults, "new", std::string("value"));
  defaults = reopen(defaults);
  expectValue(*defaults, "new", std::string("value"));
  EXPECT_EQ(defaults->stringForKey("good"), std::nullopt);
  EXPECT_TRUE(nlohmann::json::accept(readFile(store_)));
}

INSTANTIATE_TEST_SUITE_P(
    Contents, UserDefaultsBrokenStore,
    ::testing::Values(
        BrokenCase{"NotJSON", "good=value"}, BrokenCase{"NotUTF8", "{\"good\": \"\xff\"}"},
        BrokenCase{"Array", R"(["good"])"},
        BrokenCase{"Boolean", R"({"good": "value", "bad": true})"},
        BrokenCase{"UnknownTag", R"({"good": "value", "bad": {"date": "AA=="}})"},
        BrokenCase{"TwoTags", R"({"good": "value", "bad": {"data": "AA==", "number": "nan"}})"},
        BrokenCase{"Base64Length", R"({"good": "value", "bad": {"data": "AAA"}})"},
        BrokenCase{"Base64LooseBits", R"({"good": "value", "bad": {"data": "AB=="}})"},
        BrokenCase{"UnknownNumberWord", R"({"good": "value", "bad": {"number": "Infinity"}})"}),
    [](const auto& info) { return info.param.label; });

// The kill lands while the writer changes something in the store's folder: inotify reports
// the first modification of the next write, whatever file that write goes through.
TEST_F(UserDefaultsTest, WriterKilledMidWriteLeavesTheOldOrANewCompleteValue) {
  constexpr std::size_t kSize = 4 << 20;  // big enough that a write takes a while
  auto defaults = UserDefaults::make(store_);
  set(*defaults, "big", std::string("initial"));
  set(*defaults, "other", 7.0);
  defaults.reset();

  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, store_.parent_path().c_str(), IN_MODIFY), 0);
    int out = -1;
    pid_t pid = spawnWriter({"churn", "big", std::to_string(kSize)}, out);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(readLine(out), "wrote");
    std::array<char, 4096> events;
    while (::read(watch, events.data(), events.size()) > 0) {
    }
    pollfd modified{watch, POLLIN, 0};
    EXPECT_EQ(::poll(&modified, 1, 60'000), 1);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(out);
    ::close(watch);
    ASSERT_TRUE(WIFSIGNALED(status));

    defaults = UserDefaults::make(store_);
    auto big = defaults->stringForKey("big");
    ASSERT_TRUE(big);
    ASSERT_EQ(big->size(), kSize);
    EXPECT_EQ(big->find_first_not_of(big->front()), std::string::npos);
    EXPECT_EQ(defaults->doubleForKey("other"), 7.0);
    defaults.reset();
  }
}

}  // namespace
