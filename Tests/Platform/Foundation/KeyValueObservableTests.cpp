#include "Platform/Foundation/KeyValueObservable.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <tuple>

#include "Platform/Media/AudioSession.h"

namespace {

using namespace platform;

struct Observed : public KeyValueObservable {
  void change(const std::string& keyPath) { didChangeValue(keyPath, this); }
};

// What an observer heard: the key path, the object and the context.
using Notice = std::tuple<std::string, const void*, void*>;

class Recorder : public KeyValueObserver {
 public:
  void observeValue(const std::optional<std::string>& keyPath, const void* object,
                    const KeyValueChange& change, void* context) override {
    heard.emplace_back(keyPath.value_or("?"), object, context);
    EXPECT_TRUE(change.empty());
    if (then) then();
  }

  std::vector<Notice> heard;
  std::function<void()> then;
};

TEST(KeyValueObservableTest, EachRegistrationOfTheExactKeyPathHearsOnceUntilRemovedOrGone) {
  Observed observed;
  auto status = std::make_shared<Recorder>(), rate = std::make_shared<Recorder>();
  int context = 0;
  observed.removeObserver(status.get(), "status");  // not registered: harmless
  observed.addObserver(status, "status", &context);
  observed.addObserver(status, "status", &context);
  observed.addObserver(rate, "player.rate");
  for (auto path : {"status", "Status", "rate"}) observed.change(path);
  EXPECT_EQ(status->heard, std::vector(2, Notice("status", &observed, &context)));
  EXPECT_TRUE(rate->heard.empty());
  observed.removeObserver(status.get(), "player.rate");
  observed.removeObserver(status.get(), "status");  // one registration of two
  observed.change("status");
  EXPECT_EQ(status->heard.size(), 3u);
  observed.removeObserver(status.get(), "status");
  observed.removeObserver(status.get(), "status");
  observed.change("status");
  EXPECT_EQ(status->heard.size(), 3u);
  rate.reset();  // an observer that died is skipped and forgotten
  observed.change("player.rate");
  EXPECT_EQ(observed.observationCount("player.rate"), 0u);
}

TEST(KeyValueObservableTest, ObserverRemovedOrAddedDuringANoticeIsNotCalledByIt) {
  Observed observed;
  auto first = std::make_shared<Recorder>(), second = std::make_shared<Recorder>();
  auto added = std::make_shared<Recorder>();
  first->then = [&] {
    observed.removeObserver(second.get(), "status");
    observed.addObserver(added, "status");
  };
  observed.addObserver(first, "status");
  observed.addObserver(second, "status");
  observed.change("status");
  EXPECT_TRUE(second->heard.empty()) << "removed during the notice, yet called by it";
  EXPECT_TRUE(added->heard.empty()) << "added during the notice, yet called by it";
  first->then = nullptr;
  observed.change("status");
  EXPECT_EQ(added->heard.size(), 1u);
}

// The session's probe looks in a runtime folder of the test's own, first with and then
// without a sound server socket in it.
TEST(AudioSessionTest, SettingTheCategoryNeedsAnOutputAndFailingKeepsTheOldOne) {
  namespace fs = std::filesystem;
  std::string folder = (fs::temp_directory_path() / "audio-XXXXXX").string();
  ASSERT_NE(::mkdtemp(folder.data()), nullptr);
  ::unsetenv("PULSE_SERVER");
  ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
  fs::create_directories(folder + "/pulse");
  const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
  std::strncpy(address.sun_path, (folder + "/pulse/native").c_str(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  auto& session = AudioSession::sharedInstance();
  const auto set = session.setCategory(AudioSessionCategory::ambient);
  EXPECT_TRUE(set) << set.error().localizedDescription;
  EXPECT_EQ(session.category(), AudioSessionCategory::ambient);
  ::close(server);
  fs::remove_all(folder);
  if (AudioSession::isOutputAvailable()) GTEST_SKIP() << "this machine has an ALSA device";
  const auto outcome = session.setCategory(AudioSessionCategory::playback);
  ASSERT_FALSE(outcome);
  EXPECT_TRUE(outcome.error().localizedDescription.contains("No audio output"))
      << outcome.error().localizedDescription;
  EXPECT_EQ(session.category(), AudioSessionCategory::ambient);
}

}  // namespace
