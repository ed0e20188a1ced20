#include "Platform/Foundation/UserDefaults.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <system_error>
#include <thread>
#include <variant>
#include <vector>

#include "Platform/Foundation/Bundle.h"

extern char** environ;

namespace fs = std::filesystem;
using platform::UserDefaults;
using platform::UserDefaultsError;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Value = std::variant<std::monostate, Bytes, std::string, double>;

void writeFile(const fs::path& path, std::string_view contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

// What `key` holds, by the one getter that answers; the others must answer nothing.
Value read(const UserDefaults& defaults, const std::string& key) {
  const auto data = defaults.dataForKey(key);
  const auto text = defaults.stringForKey(key);
  const auto number = defaults.doubleForKey(key);
  EXPECT_LE(data.has_value() + text.has_value() + number.has_value(), 1) << key;
  if (data) return *data;
  if (text) return *text;
  if (number) return *number;
  return {};
}

// Tells -0.0 from 0.0 and takes any NaN as equal to any NaN.
bool same(const Value& a, const Value& b) {
  const auto* x = std::get_if<double>(&a);
  const auto* y = std::get_if<double>(&b);
  if (!x || !y) return a == b;
  if (std::isnan(*x) || std::isnan(*y)) return std::isnan(*x) && std::isnan(*y);
  return std::bit_cast<std::uint64_t>(*x) == std::bit_cast<std::uint64_t>(*y);
}

void set(UserDefaults& defaults, const std::string& key, const Value& value) {
  const auto done = std::visit(
      [&](const auto& v) -> std::expected<void, UserDefaultsError> {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, Bytes>) return defaults.setData(key, v);
        if constexpr (std::is_same_v<T, std::string>) return defaults.setString(key, v);
        if constexpr (std::is_same_v<T, double>) return defaults.setDouble(key, v);
        return defaults.removeObject(key);
      },
      value);
  EXPECT_TRUE(done) << key;
}

// Sets or unsets an environment variable for as long as it lives.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    set(value);
  }
  ~ScopedEnvironment() { set(old_ ? old_->c_str() : nullptr); }

 private:
  void set(const char* value) { value ? ::setenv(name_, value, 1) : ::unsetenv(name_); }
  const char* name_;
  std::optional<std::string> old_;
};

#if defined(__x86_64__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_AARCH64;
#else
#error "the failing-flush filter needs this architecture's audit number"
#endif

// Runs `work` on a thread of its own on which fsync and fdatasync fail with EIO, as they do
// when the disk lost the writes. A seccomp filter makes the kernel refuse them, for that
// thread alone. Answers why, without running `work`, when the filter cannot be installed.
std::error_code runWithFailingFlushes(const std::function<void()>& work) {
  std::error_code failed;
  std::thread([&] {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kAuditArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_fsync, 1, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_fdatasync, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
      failed = {errno, std::system_category()};
      return;
    }
    work();
  }).join();
  return failed;
}

class UserDefaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "defaults-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    store_ = folder_ / "Config" / "UserDefaults.json";
  }
  void TearDown() override { fs::remove_all(folder_); }

  // A fresh object reads the file again; the previous one must be gone for that.
  std::shared_ptr<UserDefaults> reopen(std::shared_ptr<UserDefaults>& defaults) {
    defaults.reset();
    return UserDefaults::make(store_);
  }

  fs::path folder_;
  fs::path store_;
};

TEST_F(UserDefaultsTest, ValuesSurviveANewObjectWithTheirType) {
  Bytes everyByte(256);
  for (int i = 0; i < 256; ++i) everyByte[i] = static_cast<std::uint8_t>(i);
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const std::vector<Value> values{std::string(), std::string("Grüße \"q\"\n\\"),
                                  2.5,           -0.0,
                                  kInf,          -kInf,
                                  std::nan(""),  Bytes{},
                                  Bytes{0xFF},   Bytes{0x00, 0x10},
                                  everyByte};
  auto defaults = UserDefaults::make(store_);
  EXPECT_EQ(UserDefaults::make(folder_ / "Config" / "." / "UserDefaults.json"), defaults);
  for (std::size_t i = 0; i < values.size(); ++i) set(*defaults, std::to_string(i), values[i]);
  set(*defaults, "changed", std::string("text"));
  set(*defaults, "changed", 7.0);
  set(*defaults, "removed", Bytes{1});
  EXPECT_TRUE(defaults->removeObject("removed"));
  EXPECT_TRUE(defaults->removeObject("never there"));
  EXPECT_EQ(fs::status(store_).permissions(), fs::perms::owner_read | fs::perms::owner_write);

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round ? "read back" : "in memory");
    for (std::size_t i = 0; i < values.size(); ++i) {
      EXPECT_TRUE(same(read(*defaults, std::to_string(i)), values[i])) << i;
    }
    EXPECT_EQ(read(*defaults, "changed"), Value(7.0));
    EXPECT_EQ(read(*defaults, "removed"), Value());
    defaults = reopen(defaults);
  }
}

// Text that is not UTF-8 is refused and changes nothing; a store that cannot be written
// keeps the value for this process and says so.
TEST_F(UserDefaultsTest, RefusedChangesSaySo) {
  auto defaults = UserDefaults::make(store_);
  EXPECT_EQ(defaults->setString("key", "\xff\xfe"),
            std::unexpected(UserDefaultsError::invalidText));
  EXPECT_EQ(defaults->setDouble("\xc3", 1), std::unexpected(UserDefaultsError::invalidText));
  EXPECT_TRUE(defaults->removeObject("\xc3"));
  EXPECT_EQ(defaults->stringForKey("key"), std::nullopt);
  EXPECT_FALSE(fs::exists(store_));

  writeFile(folder_ / "file", "a file where a folder should be");
  defaults = UserDefaults::make(folder_ / "file" / "UserDefaults.json");
  EXPECT_EQ(defaults->setString("key", "value"), std::unexpected(UserDefaultsError::writeFailed));
  EXPECT_EQ(defaults->stringForKey("key"), "value");
}

// The logo cache is kept here: a write whose data never reached the disk must leave the
// logo cached before, and nothing beside it.
TEST_F(UserDefaultsTest, AFailedFlushKeepsTheOldFileAndLeavesNoTemporary) {
  auto defaults = UserDefaults::make(store_);
  set(*defaults, "logo", Bytes{1, 2, 3});
  std::expected<void, UserDefaultsError> written;
  if (auto failed = runWithFailingFlushes([&] {
        written = defaults->setData("logo", Bytes{4, 5, 6});
      })) {
    GTEST_SKIP() << "no seccomp filter here: " << failed.message();
  }
  EXPECT_EQ(written, std::unexpected(UserDefaultsError::writeFailed));
  std::vector<fs::path> left;
  for (const auto& entry : fs::directory_iterator(store_.parent_path())) {
    left.push_back(entry.path());
  }
  EXPECT_EQ(left, std::vector{store_});
  defaults = reopen(defaults);
  EXPECT_EQ(read(*defaults, "logo"), Value(Bytes{1, 2, 3}));
}

TEST_F(UserDefaultsTest, ConcurrentChangesAllReachTheFile) {
  auto defaults = UserDefaults::make(store_);
  {
    std::vector<std::jthread> writers;
    for (int t = 0; t < 4; ++t) {
      writers.emplace_back([&, t] {
        for (int i = 0; i < 10; ++i)
          EXPECT_TRUE(defaults->setDouble(std::to_string(t * 10 + i), i));
      });
    }
  }
  defaults = reopen(defaults);
  for (int k = 0; k < 40; ++k) EXPECT_EQ(defaults->doubleForKey(std::to_string(k)), k % 10);
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

// A file that is not a store written here reads as empty and is replaced by the next change.
TEST_F(UserDefaultsTest, BrokenStoreReadsAsEmptyAndIsReplacedByTheNextChange) {
  fs::create_directories(store_.parent_path());
  for (const char* contents : {
           "good=value",
           R"(["good"])",
           R"({"good": "value", "bad": true})",
           R"({"good": "value", "bad": {"data": "AA==", "number": "nan"}})",
           R"({"good": "value", "bad": {"data": "AAA"}})",
           R"({"good": "value", "bad": {"data": "AB=="}})",
           R"({"good": "value", "bad": {"number": "Infinity"}})",
       }) {
    SCOPED_TRACE(contents);
    writeFile(store_, contents);
    auto defaults = UserDefaults::make(store_);
    EXPECT_EQ(read(*defaults, "good"), Value());
    EXPECT_EQ(read(*defaults, "bad"), Value());
    set(*defaults, "new", std::string("value"));
    defaults = reopen(defaults);
    EXPECT_EQ(read(*defaults, "new"), Value(std::string("value")));
    EXPECT_EQ(read(*defaults, "good"), Value());
    defaults.reset();
  }
}

// Reads one line, waiting at most 60 s for it; empty at end of output or on timeout.
std::string readLine(int fd) {
  std::string line;
  char c = 0;
  pollfd waitFor{fd, POLLIN, 0};
  while (::poll(&waitFor, 1, 60'000) > 0 && ::read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

// The kill lands while the writer changes something in the store's folder: inotify reports
// the first modification of the next write, whatever file that write goes through.
TEST_F(UserDefaultsTest, WriterKilledMidWriteLeavesTheOldOrANewCompleteValue) {
  constexpr std::size_t kSize = 4 << 20;  // big enough that a write takes a while
  auto defaults = UserDefaults::make(store_);
  set(*defaults, "big", std::string("initial"));
  set(*defaults, "other", 7.0);
  defaults.reset();
  ScopedEnvironment path("BRELUM_USER_DEFAULTS_PATH", store_.c_str());
  std::string program = BRELUM_USER_DEFAULTS_WRITER, churn = "churn", key = "big",
              size = std::to_string(kSize);
  std::array argv{program.data(), churn.data(), key.data(), size.data(),
                  static_cast<char*>(nullptr)};

  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, store_.parent_path().c_str(), IN_MODIFY), 0);
    int pipeEnds[2];
    ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    EXPECT_EQ(readLine(pipeEnds[0]), "wrote");
    std::array<char, 4096> events;
    while (::read(watch, events.data(), events.size()) > 0) {
    }
    pollfd modified{watch, POLLIN, 0};
    EXPECT_EQ(::poll(&modified, 1, 60'000), 1);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(pipeEnds[0]);
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
