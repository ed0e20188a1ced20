#include "Platform/Media/AudioSession.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using platform::AudioSession;
using platform::AudioSessionCategory;

// Points the session's probe at a runtime folder of the test's own, with or without a sound
// server socket in it.
class AudioSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "audio-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    ::unsetenv("PULSE_SERVER");
    ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
  }

  void TearDown() override {
    if (socket_ >= 0) ::close(socket_);
    fs::remove_all(folder_);
  }

  void startSoundServerSocket() {
    fs::create_directories(folder_ / "pulse");
    socket_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const auto path = (folder_ / "pulse" / "native").string();
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  }

  fs::path folder_;
  int socket_ = -1;
};

TEST_F(AudioSessionTest, WithoutAnyOutputSettingTheCategoryFailsAndKeepsTheOldOne) {
  if (AudioSession::isOutputAvailable()) GTEST_SKIP() << "this machine has an ALSA device";
  auto& session = AudioSession::sharedInstance();
  const auto before = session.category();
  auto outcome = session.setCategory(AudioSessionCategory::playback);
  ASSERT_FALSE(outcome);
  EXPECT_NE(outcome.error().localizedDescription.find("No audio output"), std::string::npos);
  EXPECT_EQ(session.category(), before);
}

TEST_F(AudioSessionTest, WithASoundServerTheCategoryIsSet) {
  startSoundServerSocket();
  auto& session = AudioSession::sharedInstance();
  ASSERT_TRUE(session.setCategory(AudioSessionCategory::playback));
  EXPECT_EQ(session.category(), AudioSessionCategory::playback);
}

}  // namespace
